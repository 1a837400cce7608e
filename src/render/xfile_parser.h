#pragma once
// The grammar of X file data objects: templates and unknown objects are skipped, Frames,
// Meshes and their materials are read into an XFileScene.
#include "render/xfile_scene.h"
#include "render/xfile_tokenizer.h"

namespace render {

// Throws XFileSyntaxError, whose message names the place of the fault.
XFileScene parseXFileScene(XTokenizer& tokens);

}  // namespace render
