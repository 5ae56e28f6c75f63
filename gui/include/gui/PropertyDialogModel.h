#pragma once
// What the "Enter Property" dialog shows and writes, apart from any window:
// a prompt, a string property's current text, and OK writing the edited
// text back (Cancel writes nothing).
//
// [ui-thread: the thread that runs the dialog]

#include <cstdint>
#include <string>

class ZephAuBase;

namespace QX {

class PropertyDialogModel {
public:
    // Longest text written, in bytes (the terminating zero comes on top).
    static constexpr std::size_t kMaxLength = 255;

    // Reads the property's current text.
    PropertyDialogModel(ZephAuBase& plugin, std::uint32_t propertyId, std::string prompt);

    const std::string& Prompt() const { return prompt_; }
    const std::string& Text() const { return text_; }

    // OK: writes at most kMaxLength bytes of `text` and a terminating zero
    // through setPropertyAndNotify, so that the plug-in acts on it and every
    // field showing the property hears of it. Returns the plug-in's answer
    // (0 when it took the text).
    std::int32_t Write(const std::string& text);

    // The text of a string property, "" when the plug-in has none.
    static std::string ReadProperty(ZephAuBase& plugin, std::uint32_t propertyId);

private:
    ZephAuBase& plugin_;
    std::uint32_t propertyId_;
    std::string prompt_;
    std::string text_;
};

}  // namespace QX
