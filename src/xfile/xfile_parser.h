#pragma once
// The grammar of X file data objects: templates and unknown objects are skipped, Frames,
// Meshes and their materials are read into an XFileScene.
#include "xfile/xfile_scene.h"
#include "xfile/xfile_tokenizer.h"

namespace xfile {

// Throws XFileSyntaxError, whose message names the place of the fault.
XFileScene parseXFileScene(XTokenizer& tokens);

}  // namespace xfile
