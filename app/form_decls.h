// SPDX-License-Identifier: MIT
// The declarations of the wizard window (TForm1) and of the results report
// (TForm3): windows, controls, places, captions, fonts and colours.
#pragma once

#include "ui/form_decl.h"

namespace sabrel::app {

const ui::FormDecl& Form1Decl();
const ui::FormDecl& Form3Decl();

}  // namespace sabrel::app
