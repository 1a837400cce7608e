#pragma once
// The user's home folder on POSIX systems, for the files a program keeps for its user.
#include <string>
#include <string_view>

namespace base {

// `homeVariable` (HOME) when it is set; else the home folder the password database gives this
// user (as the shell would have set HOME); empty when neither names an absolute folder other than
// "/", so that nothing lands in the root folder.
std::string homeFolder(std::string_view homeVariable);

}  // namespace base
