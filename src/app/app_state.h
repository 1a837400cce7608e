#pragma once
// Everything the application keeps between passes. Modules below app get only the part they
// need: the view for the key poll and the frame, the saves for grabs and captures.
#include <cstdint>
#include <string>

#include "base/file_names.h"
#include "state/save_state.h"
#include "state/view_state.h"

namespace app {

struct AppState {
    state::ViewState view;
    state::SaveState save;
    std::string modelPath{base::kModelFile};
    std::int32_t frameSizeCount = 0;
};

}  // namespace app
