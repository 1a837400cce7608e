#include "input/poll_keyboard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <vector>

#include "app/app_state.h"
#include "backends/fake/recording_actions.h"
#include "backends/fake/scripted_keyboard.h"
#include "platform/virtual_keys.h"

namespace {

namespace vk = platform::vk;
using backends::fake::RecordingActions;
using Kind = RecordingActions::Kind;

// What a sideways move should store: angle, product and sum in double, then rounded to float.
float movedBy(float start, float step, double angle, double (*wave)(double)) {
    return static_cast<float>(static_cast<double>(start) + static_cast<double>(step) * wave(angle));
}
double sine(double a) {
    return std::sin(a);
}
double cosine(double a) {
    return std::cos(a);
}

class PollKeyboard : public ::testing::Test {
protected:
    void poll(int times = 1) {
        for (int i = 0; i < times; ++i) input::pollKeyboard(state.view, state.save, keys, actions);
    }
    void hold(std::initializer_list<int> held) {
        keys.releaseAll();
        for (int key : held) keys.press(key);
    }

    app::AppState state;
    backends::fake::ScriptedKeyboard keys;
    RecordingActions actions{state.save};
};

TEST_F(PollKeyboard, RefreshesOncePerPollAndLeavesStateAloneWhenNoKeyIsHeld) {
    poll();
    EXPECT_EQ(keys.refreshCount, 1) << "the keymap must be read exactly once per poll";
    hold({vk::D, vk::Left, vk::Return});
    poll(2);
    EXPECT_EQ(keys.refreshCount, 3) << "held keys must not cause extra keymap reads";

    app::AppState idle;
    backends::fake::ScriptedKeyboard none;
    RecordingActions quiet;
    input::pollKeyboard(idle.view, idle.save, none, quiet);
    const app::AppState defaults;
    EXPECT_TRUE(quiet.calls.empty()) << "no key held, yet an action ran";
    EXPECT_EQ(idle.view.overlayX, defaults.view.overlayX);
    EXPECT_EQ(idle.view.overlayY, defaults.view.overlayY);
    EXPECT_EQ(idle.view.ambientRed, defaults.view.ambientRed) << "idle poll changed the ambient light";
    EXPECT_EQ(idle.view.yaw, defaults.view.yaw);
    EXPECT_EQ(idle.view.eyePosition.x, defaults.view.eyePosition.x) << "idle poll moved the eye";
    EXPECT_EQ(idle.view.eyePosition.z, defaults.view.eyePosition.z) << "idle poll moved the eye";
}

TEST_F(PollKeyboard, EscapeRequestsQuitAndThePollGoesOn) {
    hold({vk::Escape, vk::Return, vk::D});
    poll();
    ASSERT_EQ(actions.calls.size(), 2u) << "expected a quit request and Enter's capture";
    EXPECT_EQ(actions.calls[0].kind, Kind::Quit) << "Escape is read before Enter";
    EXPECT_EQ(actions.calls[0].exitCode, 0) << "quit must carry exit code 0";
    EXPECT_EQ(actions.calls[1].kind, Kind::OverlayCapture) << "Enter's capture must still run after Escape";
    EXPECT_EQ(state.view.overlayX, 23) << "keys after Escape must still act in the same poll";
}

TEST_F(PollKeyboard, EnterCapturesOncePerPress) {
    hold({vk::Return});
    poll();
    EXPECT_EQ(state.save.enterHoldCount, 2);
    poll(2);
    EXPECT_EQ(state.save.enterHoldCount, 6) << "the hold count grows by 2 per poll";
    EXPECT_EQ(actions.count(Kind::OverlayCapture), 1u) << "holding Enter must capture only once";

    hold({});
    poll();
    EXPECT_EQ(state.save.enterHoldCount, 0) << "releasing Enter must reset the count";
    hold({vk::Return});
    poll();
    ASSERT_EQ(actions.count(Kind::OverlayCapture), 2u) << "a second press must capture again";

    // The count is 16 bits: after 32768 polls of holding it wraps to 0 and captures again.
    state.save.enterHoldCount = 65534;
    poll();
    EXPECT_EQ(state.save.enterHoldCount, 0) << "the count must wrap at 16 bits";
    EXPECT_EQ(actions.count(Kind::OverlayCapture), 3u) << "a wrapped count must capture";
}

TEST_F(PollKeyboard, EnterAndKeypadMinusBothCaptureAndLeaveTheNumbersToTheSaves) {
    hold({vk::Return, vk::Subtract});
    poll();
    ASSERT_EQ(actions.count(Kind::OverlayCapture), 2u) << "Enter and keypad minus must both capture";
    poll(3);
    EXPECT_EQ(actions.count(Kind::OverlayCapture), 5u) << "keypad minus captures in every poll";
    EXPECT_EQ(state.save.saveCounter, 0) << "the poll spent a number: only a save may";
}

TEST_F(PollKeyboard, KeypadGrabsSetNumberedSaveOnlyForPlus) {
    hold({vk::Numpad5});
    poll();
    ASSERT_EQ(actions.calls.size(), 1u);
    EXPECT_EQ(actions.calls[0].kind, Kind::FrameGrab);
    EXPECT_EQ(actions.calls[0].numberedSave, 0) << "keypad 5 must grab the texture file";

    hold({vk::Numpad5, vk::Add});
    state.save.numberedSave = 0;
    poll();
    ASSERT_EQ(actions.calls.size(), 3u) << "keypad 5 and plus must each grab";
    EXPECT_EQ(actions.calls[1].numberedSave, 0) << "keypad 5 grabs before plus sets the flag";
    EXPECT_EQ(actions.calls[2].numberedSave, 1) << "plus must set numberedSave before its grab";
    EXPECT_EQ(state.save.saveCounter, 0) << "the poll spent a number: only a save may";
}

TEST_F(PollKeyboard, PerPassStepsAreResetAndSetByTheFirstKeyOfEachChain) {
    state.view.eyeWalkStep = state.view.modelWalkStep = 1.0f;
    state.view.modelSpinX = state.view.modelSpinY = state.view.modelSpinZ = 1.0f;
    poll();
    EXPECT_EQ(state.view.eyeWalkStep, 0.0f) << "steps must not carry over to the next pass";
    EXPECT_EQ(state.view.modelWalkStep, 0.0f);
    EXPECT_EQ(state.view.modelSpinX, 0.0f);
    EXPECT_EQ(state.view.modelSpinY, 0.0f);
    EXPECT_EQ(state.view.modelSpinZ, 0.0f);

    hold({vk::Numpad8, vk::Numpad9, vk::RShift, vk::RControl, vk::Multiply});
    poll();
    EXPECT_EQ(state.view.eyeWalkStep, 0.04f);
    EXPECT_EQ(state.view.modelWalkStep, -0.03f);
    EXPECT_EQ(state.view.modelSpinZ, -0.02f) << "right Shift spins z backwards";
    EXPECT_EQ(state.view.modelSpinX, -0.02f) << "right Ctrl spins x backwards";
    EXPECT_EQ(state.view.modelSpinY, -0.02f) << "keypad * spins y backwards";

    hold({vk::Numpad2, vk::Numpad8, vk::Numpad1, vk::Numpad9, vk::LShift, vk::RShift, vk::LControl,
          vk::RControl, vk::Divide, vk::Multiply});
    poll();
    EXPECT_EQ(state.view.eyeWalkStep, -0.04f) << "keypad 2 must win over 8";
    EXPECT_EQ(state.view.modelWalkStep, 0.03f) << "keypad 1 must win over 9";
    EXPECT_EQ(state.view.modelSpinZ, 0.02f) << "left Shift must win over right";
    EXPECT_EQ(state.view.modelSpinX, 0.02f) << "left Ctrl must win over right";
    EXPECT_EQ(state.view.modelSpinY, 0.02f) << "keypad / must win over *";
}

TEST_F(PollKeyboard, SidewaysMovesUseTheOffsetHeadingInDouble) {
    // At heading 0 the z part is 0.03 * cos(1.57), which shows whether 1.57 or pi/2 was used.
    state.view.eyePosition = {0.0f, 3.0f, 0.0f};
    hold({vk::Numpad6});
    poll();
    EXPECT_EQ(state.view.eyePosition.x, movedBy(0.0f, 0.03f, 1.57, sine));
    EXPECT_EQ(state.view.eyePosition.z, movedBy(0.0f, 0.03f, 1.57, cosine))
        << "offset must be 1.57 in double";

    state.view.yaw = 0.5f;
    const double yaw = 0.5;
    struct Case {
        int key;
        bool eye;
        float step;
        double angle;
    };
    for (const Case& c :
         {Case{vk::Numpad6, true, 0.03f, yaw + 1.57}, Case{vk::Numpad4, true, 0.03f, yaw - 1.57},
          Case{vk::Numpad7, false, 0.02f, yaw + 1.57}, Case{vk::Numpad3, false, 0.02f, yaw - 1.57}}) {
        state.view.eyePosition = {1.0f, 3.0f, -3.0f};
        state.view.modelPosition = {0.5f, 2.58f, 0.25f};
        const base::Vec3 before = c.eye ? state.view.eyePosition : state.view.modelPosition;
        hold({c.key});
        poll();
        const base::Vec3& moved = c.eye ? state.view.eyePosition : state.view.modelPosition;
        const base::Vec3& still = c.eye ? state.view.modelPosition : state.view.eyePosition;
        const base::Vec3 stillBefore = c.eye ? base::Vec3{0.5f, 2.58f, 0.25f} : base::Vec3{1.0f, 3.0f, -3.0f};
        EXPECT_EQ(moved.x, movedBy(before.x, c.step, c.angle, sine)) << "key " << c.key << " moved x wrongly";
        EXPECT_EQ(moved.z, movedBy(before.z, c.step, c.angle, cosine))
            << "key " << c.key << " moved z wrongly";
        EXPECT_EQ(still.x, stillBefore.x) << "key " << c.key << " moved the wrong object";
        EXPECT_EQ(still.z, stillBefore.z) << "key " << c.key << " moved the wrong object";
    }

    // Only the first held key of 6, 4, 7, 3 acts.
    struct Pair {
        int first, second;
        bool eyeMoves;
        double angle;
    };
    for (const Pair& p :
         {Pair{vk::Numpad6, vk::Numpad7, true, yaw + 1.57}, Pair{vk::Numpad6, vk::Numpad3, true, yaw + 1.57},
          Pair{vk::Numpad4, vk::Numpad3, true, yaw - 1.57},
          Pair{vk::Numpad7, vk::Numpad3, false, yaw + 1.57}}) {
        state.view.eyePosition = {1.0f, 3.0f, -3.0f};
        state.view.modelPosition = {0.5f, 2.58f, 0.25f};
        hold({p.first, p.second});
        poll();
        const base::Vec3& moved = p.eyeMoves ? state.view.eyePosition : state.view.modelPosition;
        const base::Vec3& still = p.eyeMoves ? state.view.modelPosition : state.view.eyePosition;
        const base::Vec3 from = p.eyeMoves ? base::Vec3{1.0f, 3.0f, -3.0f} : base::Vec3{0.5f, 2.58f, 0.25f};
        const base::Vec3 stillFrom =
            p.eyeMoves ? base::Vec3{0.5f, 2.58f, 0.25f} : base::Vec3{1.0f, 3.0f, -3.0f};
        EXPECT_EQ(moved.x, movedBy(from.x, p.eyeMoves ? 0.03f : 0.02f, p.angle, sine))
            << "keys " << p.first << " and " << p.second;
        EXPECT_EQ(still, stillFrom) << "keys " << p.first << " and " << p.second << " moved both";
    }
}

TEST_F(PollKeyboard, SidewaysMoveSeesHeadingBeforeArrowsAndWalkSeesItAfter) {
    state.view.yaw = 0.5f;
    state.view.eyePosition = {0.0f, 3.0f, 0.0f};
    hold({vk::Numpad6, vk::Numpad8, vk::Right});
    poll();
    const float turned = 0.5f + 0.01f;
    EXPECT_EQ(state.view.yaw, turned);
    const float sideX = movedBy(0.0f, 0.03f, 0.5 + 1.57, sine);
    const float sideZ = movedBy(0.0f, 0.03f, 0.5 + 1.57, cosine);
    EXPECT_EQ(state.view.eyePosition.x, movedBy(sideX, 0.04f, turned, sine))
        << "sideways move must use the old heading and the walk the new one";
    EXPECT_EQ(state.view.eyePosition.z, movedBy(sideZ, 0.04f, turned, cosine))
        << "sideways move must use the old heading and the walk the new one";
}

TEST_F(PollKeyboard, OverlayMovesInStepsOfThreeWithinItsBounds) {
    hold({vk::D});
    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
        poll();
        seen.push_back(state.view.overlayX);
    }
    EXPECT_EQ(seen, (std::vector<int>{23, 26, 29}));
    poll(300);
    EXPECT_EQ(state.view.overlayX, 560) << "D must stop at 560";
    hold({vk::A});
    poll(300);
    EXPECT_EQ(state.view.overlayX, 4) << "A must stop at 4";
    hold({vk::S});
    poll(300);
    EXPECT_EQ(state.view.overlayY, 544) << "S must stop at 544";
    hold({vk::W});
    poll(300);
    EXPECT_EQ(state.view.overlayY, 4) << "W must stop at 4";

    state.view.overlayX = 100;
    hold({vk::D, vk::A});
    poll();
    EXPECT_EQ(state.view.overlayX, 100) << "D and A together must cancel";

    // 32767 + 3 wraps to a negative 16-bit value, which the signed floor catches.
    state.view.overlayX = 32767;
    hold({vk::D});
    poll();
    EXPECT_EQ(state.view.overlayX, 4) << "a wrapped x must be compared as signed";
}

TEST_F(PollKeyboard, OverlaySizeHasAFloorOfTenAndWrapsAt16Bits) {
    state.view.overlayWidth = state.view.overlayHeight = 10;
    hold({vk::Q, vk::Z});
    poll();
    EXPECT_EQ(state.view.overlayWidth, 10) << "Q at 10 must stay at 10";
    EXPECT_EQ(state.view.overlayHeight, 10) << "Z at 10 must stay at 10";

    state.view.overlayWidth = state.view.overlayHeight = 1000;
    hold({vk::E, vk::C});
    poll();
    EXPECT_EQ(state.view.overlayWidth, 1003);
    EXPECT_EQ(state.view.overlayHeight, 1003);

    state.view.overlayWidth = 65532;
    poll();
    EXPECT_EQ(state.view.overlayWidth, 65535) << "there is no upper bound below the 16-bit limit";
    poll();
    EXPECT_EQ(state.view.overlayWidth, 10) << "65535 + 3 wraps to 2, which the floor lifts to 10";

    // Below 10 by some other way: 1 - 3 wraps to 65534, which the unsigned floor leaves alone.
    state.view.overlayWidth = 1;
    hold({vk::Q});
    poll();
    EXPECT_EQ(state.view.overlayWidth, 65534) << "the width must be compared as unsigned";
}

TEST_F(PollKeyboard, AlphaAndColourChannelsStayBetweenOneAnd255) {
    struct Channel {
        const char* name;
        std::uint16_t state::ViewState::*field;
        int down;
        int up;
    };
    for (const Channel& c : {Channel{"alpha", &state::ViewState::overlayAlpha, vk::Digit7, vk::U},
                             Channel{"red", &state::ViewState::overlayRed, vk::Digit1, vk::Digit2},
                             Channel{"green", &state::ViewState::overlayGreen, vk::Digit3, vk::Digit4},
                             Channel{"blue", &state::ViewState::overlayBlue, vk::Digit5, vk::Digit6}}) {
        const struct {
            std::uint16_t from;
            int key;
            std::uint16_t to;
        } steps[] = {{255, c.up, 255}, {254, c.up, 255},  {1, c.down, 1},
                     {2, c.down, 1},   {100, c.down, 99}, {100, c.up, 101}};
        for (const auto& s : steps) {
            state.view.*c.field = s.from;
            hold({s.key});
            poll();
            EXPECT_EQ(state.view.*c.field, s.to) << c.name << " from " << s.from << " with key " << s.key;
        }
    }
}

TEST_F(PollKeyboard, AmbientRedReachesItsFloorOnThe95thPollOfEight) {
    hold({vk::Digit8});
    poll(94);
    EXPECT_EQ(state.view.ambientRedPercent, 5) << "94 polls of 8 must show 5 percent";
    EXPECT_GT(static_cast<double>(state.view.ambientRed), 0.05) << "the float must still be above the floor";
    EXPECT_NE(state.view.ambientRed, 0.05f) << "the floor must not have been applied yet";
    poll();
    EXPECT_EQ(state.view.ambientRed, 0.05f) << "the 95th poll must store the float nearest 0.05";
    EXPECT_EQ(state.view.ambientRedPercent, 1) << "the floor must show 1 percent";

    // Up from the floor the percentage trails 100 x value by 4, until the ceiling resets both.
    hold({vk::I});
    int polls = 0;
    while (!(state.view.ambientRed == 1.0f && state.view.ambientRedPercent == 100) && polls < 200) {
        poll();
        ++polls;
        if (state.view.ambientRedPercent != 100) {
            ASSERT_EQ(state.view.ambientRedPercent, std::lround(state.view.ambientRed * 100.0) - 4)
                << "after " << polls << " polls of I";
        }
    }
    EXPECT_GT(polls, 90) << "the ceiling came too early";
    EXPECT_LT(polls, 100) << "the ceiling never came";

    // 0.05f lies just above 0.05, so a channel resting there is not floored again.
    hold({});
    state.view.ambientRed = 0.05f;
    state.view.ambientRedPercent = 7;
    poll();
    EXPECT_EQ(state.view.ambientRedPercent, 7) << "0.05f must not count as below the floor";
}

TEST_F(PollKeyboard, AmbientCeilingStoresOneAndHundredForEachChannel) {
    struct Channel {
        float state::ViewState::*value;
        std::uint16_t state::ViewState::*percent;
        int down;
        int up;
    };
    for (const Channel& c :
         {Channel{&state::ViewState::ambientRed, &state::ViewState::ambientRedPercent, vk::Digit8, vk::I},
          Channel{&state::ViewState::ambientGreen, &state::ViewState::ambientGreenPercent, vk::Digit9, vk::O},
          Channel{&state::ViewState::ambientBlue, &state::ViewState::ambientBluePercent, vk::Digit0,
                  vk::P}}) {
        state = app::AppState{};
        hold({c.up});
        poll();
        EXPECT_EQ(state.view.*c.value, 1.0f)
            << "one press up from 0.99 must give exactly 1.0 (key " << c.up << ")";
        EXPECT_EQ(state.view.*c.percent, 100);
        poll();
        EXPECT_EQ(state.view.*c.value, 1.0f) << "further presses must keep 1.0 (key " << c.up << ")";
        EXPECT_EQ(state.view.*c.percent, 100);
        const int raised = (state.view.ambientRed == 1.0f) + (state.view.ambientGreen == 1.0f) +
                           (state.view.ambientBlue == 1.0f);
        EXPECT_EQ(raised, 1) << "key " << c.up << " must raise only its own channel";
        hold({c.down});
        poll();
        EXPECT_EQ(state.view.*c.value, 1.0f - 0.01f) << "key " << c.down << " must lower its own channel";
        EXPECT_EQ(state.view.*c.percent, 99);
    }
}

TEST_F(PollKeyboard, ArrowsTurnAndTiltWithLookHeightBetweenTwoAndFour) {
    hold({vk::Left, vk::Right});
    poll();
    EXPECT_EQ(state.view.yaw, -0.01f) << "Left must win over Right";
    hold({vk::Right});
    poll(2);
    EXPECT_EQ(state.view.yaw, -0.01f + 0.01f + 0.01f);

    hold({vk::Down, vk::Up});
    poll();
    EXPECT_EQ(state.view.lookHeight, 2.4f - 0.01f) << "Down must win over Up";
    poll(100);
    EXPECT_EQ(state.view.lookHeight, 2.0f) << "look height must stop at 2";
    hold({vk::Up});
    poll(300);
    EXPECT_EQ(state.view.lookHeight, 4.0f) << "look height must stop at 4";

    hold({vk::Prior, vk::Next});
    poll();
    EXPECT_EQ(state.view.modelPosition.y, 2.58f + 0.02f) << "Page Up must win over Page Down";
    hold({vk::Next});
    poll();
    EXPECT_EQ(state.view.modelPosition.y, (2.58f + 0.02f) - 0.02f);
}

TEST_F(PollKeyboard, NoKeyChangesTheEyeHeight) {
    state.view.yaw = 0.3f;
    for (int key = 1; key < vk::Count; ++key) keys.press(key);
    poll(50);
    EXPECT_EQ(state.view.eyePosition.y, 3.0f) << "the eye must stay at height 3";
}

// Remembers which way each key was asked for, and answers only for the keys it was given.
class SplitKeyboard final : public platform::Keyboard {
public:
    bool isHeld(int key) override {
        askedHere.insert(key);
        return here.count(key) != 0;
    }
    bool isHeldAnywhere(int key) override {
        askedAnywhere.insert(key);
        return anywhere.count(key) != 0;
    }
    std::set<int> here, anywhere, askedHere, askedAnywhere;
};

TEST(PollKeyboardReading, LettersAndDigitsActFromAnyWindowOtherKeysOnlyFromOurs) {
    const std::set<int> focusKeys = {
        vk::Escape,  vk::Return,   vk::Numpad1,  vk::Numpad2, vk::Numpad3,  vk::Numpad4,  vk::Numpad5,
        vk::Numpad6, vk::Numpad7,  vk::Numpad8,  vk::Numpad9, vk::Add,      vk::Subtract, vk::LShift,
        vk::RShift,  vk::LControl, vk::RControl, vk::Divide,  vk::Multiply, vk::Left,     vk::Right,
        vk::Down,    vk::Up,       vk::Prior,    vk::Next,    vk::F9};
    const std::set<int> anyWindowKeys = {
        vk::D,      vk::A,      vk::W,      vk::S,      vk::Q,      vk::E,     vk::Z,      vk::C,
        vk::Digit8, vk::I,      vk::Digit9, vk::O,      vk::Digit0, vk::P,     vk::Digit7, vk::U,
        vk::Digit1, vk::Digit2, vk::Digit3, vk::Digit4, vk::Digit5, vk::Digit6};
    app::AppState state;
    RecordingActions actions;
    SplitKeyboard keys;
    input::pollKeyboard(state.view, state.save, keys, actions);
    EXPECT_EQ(keys.askedHere, focusKeys) << "keys read through our own windows' key state differ";
    EXPECT_EQ(keys.askedAnywhere, anyWindowKeys) << "keys read through the physical key state differ";

    keys.anywhere = {vk::D, vk::Escape, vk::Return};
    keys.here = {vk::S};
    input::pollKeyboard(state.view, state.save, keys, actions);
    EXPECT_EQ(state.view.overlayX, 23) << "D held in another window must move the overlay";
    EXPECT_EQ(state.view.overlayY, 20) << "S must be read from the physical state only";
    EXPECT_TRUE(actions.calls.empty()) << "Escape and Enter must be read from our windows only";
}

}  // namespace
