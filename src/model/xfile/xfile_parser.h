#pragma once
// The grammar of X file data objects: templates and unknown objects are skipped, Frames,
// Meshes and their materials are read into an XFileScene.
#include "model/xfile/xfile_scene.h"
#include "model/xfile/xfile_tokenizer.h"

namespace model::xfile {

// Throws XFileSyntaxError, whose message names the place of the fault.
XFileScene parseXFileScene(XTokenizer& tokens);

}  // namespace model::xfile
