#pragma once
// Setting a plug-in's parameter by name, as a user types it on a command
// line, through the VST 2.4 interface alone, so that it works for any
// plug-in:
// - the name is matched against effGetParamName, exactly, else ignoring
//   case;
// - the value goes to the plug-in as text (effString2Parameter), which reads
//   it as it shows its values ("Omni", "Off", "-10");
// - a plug-in that reads no texts for the parameter takes a number from 0 to
//   1 instead, the host's normalized value (0 its lowest setting, 1 its
//   highest), or a text the parameter shows at some setting, found by
//   trying settings in steps of 1/1000.

#include <string>

namespace host {

class VstHost;

// "Name=value" split at the first '=', both without surrounding spaces.
// False when there is no '=' or no name.
bool splitParameterSetting(const std::string& setting, std::string& name, std::string& value);

// [main-thread] False, with a message for the user in `error`, for a name
// the plug-in does not have (listing the names it has) or a value it does
// not take (with what it shows at its lowest and highest settings: trying
// them changes the parameter).
bool setParameterByName(VstHost& plugin, const std::string& name, const std::string& value,
                        std::string& error);

}  // namespace host
