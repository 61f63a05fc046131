// SPDX-License-Identifier: MIT
// The Linux program's chooser of an installation, shown before the wizard
// when neither an argument nor SABREL_WINDIR names one: the installations used
// last, and FLTK's native file chooser for a folder or a disk image.
#pragma once

#include <string>
#include <vector>

#include "programs/linux/installation.h"

namespace sabrel::programs::linux_entry {

// One round of the chooser: true with the picked path, false on Cancel.
bool ChooseWithDialog(const std::vector<std::string>& recent, std::string* path);

// The message for a choice that is not an installation, in UTF-8.
std::string ProblemText(Problem problem, const std::string& path);

// Shows ProblemText in an alert box.
void AlertProblem(Problem problem, const std::string& path);
// Shows a message (UTF-8) in the same alert box.
void AlertText(const std::string& utf8);

}  // namespace sabrel::programs::linux_entry
