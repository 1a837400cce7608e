#include "capture/overlay_capture.h"

#include "capture/bmp_snapshot.h"
#include "capture/grab_geometry.h"
#include "capture/numbered_snapshot.h"

namespace capture {

std::optional<SavedSample> overlayCapture(const state::ViewState& view, state::SaveState& save,
                                          platform::Shell& shell, platform::Screen& screen) {
    const GrabRect rect = overlayRect(shell.viewerClientOrigin(), view.overlayX, view.overlayY,
                                      view.overlayWidth, view.overlayHeight);
    if (!snapshotSizeAllowed(rect.width, rect.height))
        return saveNumberedSnapshot(save, shell, base::Failure{"the overlay is too large to save"},
                                    SampleKind::Capture, rect);
    return saveNumberedSnapshot(save, shell, screen.read(rect.x, rect.y, rect.width, rect.height),
                                SampleKind::Capture, rect);
}

}  // namespace capture
