// SPDX-License-Identifier: MIT
// The declaration of the options dialog's window and controls.
#pragma once

#include "ui/form_decl.h"

namespace sabrel::options {

const ui::FormDecl& Form2Decl();

}  // namespace sabrel::options
