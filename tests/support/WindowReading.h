// What a unit test that shows the programs' own dialogs reads of them: a
// window's texts, controls, owner and message-box icon, from the window
// driver (link e2e_driver; nothing here starts or clicks through programs).
#pragma once
#include "Driver.h"

namespace testbed {
using e2e::Control;
using e2e::Controls;
using e2e::Dismiss;
using e2e::FindControl;
using e2e::IconOf;
using e2e::kTimeoutMs;
using e2e::MessageIcon;
using e2e::Owner;
using e2e::Text;
using e2e::ToString;
}  // namespace testbed
