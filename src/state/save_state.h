#pragma once
// Where the next numbered file goes and what became of the last one: the key poll and the
// buttons set off saves, the grabs and captures write the files, the frame reports them.
#include <cstdint>
#include <string>

namespace state {

struct SaveState {
    // Set while a frame grab should write a numbered file instead of the grab texture.
    std::uint16_t numberedSave = 0;
    std::int32_t saveCounter = 0;
    std::string filePrefix;  // last prefix read from the frame's edit box
    // Counts up while Enter is held, so that one press captures once.
    std::uint16_t enterHoldCount = 0;

    // What the viewer reports about the last numbered file (kept apart from saveCounter, which
    // a new prefix or a take-back moves).
    std::string lastSavedPrefix;
    std::int32_t lastSavedNumber = 0;
    bool lastSaveFailed = false;
    // Set by the first save after the prefix changed; the counter alone cannot tell, since it
    // starts after the numbers already saved with the new prefix.
    bool savedSincePrefixChange = false;

    // The last file taken back (F9), shown instead of the saved line until the next save; or
    // the file that could not be taken back because it changed or went since it was saved.
    std::string lastUndone;
    bool lastUndoRefused = false;
    bool undoHeld = false;  // one take-back per press
};

// Whether the viewer shows the line about the last numbered file: from the first save set off
// until a new prefix restarts the numbering; or the line about the last file taken back.
inline bool showsSavedLine(const SaveState& save) {
    return save.savedSincePrefixChange || !save.lastUndone.empty();
}

// The counter moves on by one for every save that was set off, written or not; at its end it
// wraps rather than trap.
inline void advanceSaveCounter(SaveState& save) {
    save.saveCounter = static_cast<std::int32_t>(static_cast<std::uint32_t>(save.saveCounter) + 1u);
}

}  // namespace state
