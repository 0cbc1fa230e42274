// Where the running executable lives.
#ifndef WEBLETTER_APP_PROGRAM_FOLDER_H_
#define WEBLETTER_APP_PROGRAM_FOLDER_H_

#include <string>
#include <string_view>

namespace webletter {

// The folder of the running executable with links resolved (from /proc/self/exe), ending in
// exactly one "/". Empty when the system cannot tell.
std::string ProgramFolder();

// `folder` ending in exactly one "/" ("/" stays "/"). Blanks are kept: on this system they are
// part of a folder's name.
std::string NormaliseFolder(std::string_view folder);

}  // namespace webletter

#endif  // WEBLETTER_APP_PROGRAM_FOLDER_H_
