#pragma once
// The value a typed text stands for: the reverse of a parameter's display
// text, for hosts that set parameters by text (effString2Parameter), such as
// tavro-render's --set.

#include <string>

namespace QX4Controller {

// The native value of `text` for parameter `index`: one of the texts the
// parameter shows (exact, else ignoring case: "Omni", "Automatic", "On",
// "Off", "8") or a number in its native units ("-10", "66") within its
// range, whole for indexed and on/off parameters. Spaces around the text
// do not count. False for anything else. [any-thread]
bool parameterValueFromText(int index, const std::string& text, float& native);

}  // namespace QX4Controller
