#pragma once
// "Name=value" settings of the plug-in's parameters from the command line,
// read against the plug-in's parameter table: the name is a parameter's full
// name (exact, else case-insensitive), the value one of its value texts
// ("Omni", "Automatic", "On", "Off") or a number in its native units
// ("Clock Offset=-10", "Swing=66").

#include <string>

namespace render {

struct ParameterAssignment {
    int index;
    float native;
    float normalized;  // what setParameter takes
};

// Throws std::invalid_argument with a message for the user: a missing '=',
// an unknown name (listing the names), a value that is neither a value text
// nor a number in range (listing what is allowed).
ParameterAssignment parseParameterAssignment(const std::string& setting);

}  // namespace render
