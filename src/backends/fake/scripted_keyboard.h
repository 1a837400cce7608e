#pragma once
// Implements platform::Keyboard for tests: the test says which keys are held, in our windows or
// anywhere. Does not: see a real key.
#include <set>

#include "platform/keyboard.h"

namespace backends::fake {

class ScriptedKeyboard final : public platform::Keyboard {
public:
    void press(int virtualKey) { held_.insert(virtualKey); }
    // Held while another program's window has the keys: seen only as held anywhere.
    void pressAnywhere(int virtualKey) { elsewhere_.insert(virtualKey); }
    void release(int virtualKey) {
        held_.erase(virtualKey);
        elsewhere_.erase(virtualKey);
    }
    void releaseAll() {
        held_.clear();
        elsewhere_.clear();
    }
    void refresh() override { ++refreshCount; }
    bool isHeld(int virtualKey) override { return held_.count(virtualKey) != 0; }
    bool isHeldAnywhere(int virtualKey) override {
        return held_.count(virtualKey) != 0 || elsewhere_.count(virtualKey) != 0;
    }
    bool anyKeyMayBeHeld() override { return !held_.empty() || !elsewhere_.empty(); }
    int refreshCount = 0;

private:
    std::set<int> held_;
    std::set<int> elsewhere_;
};

}  // namespace backends::fake
