// The MIDI source name read by the editor while something else makes it
// longer between the size question and the copy (a host's setChunk, a
// panel, a script): no reader writes past its buffer, and each shows the
// name as it is after the change.

#include <string>

#include "LayoutFixture.h"
#include "gui/Buttons.h"
#include "gui/PropertyDialogModel.h"
#include "gui/TextField.h"
#include "plugin/Properties.h"

namespace layouttest {
namespace {

VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Answers the first size question about the name, then sets a far longer
// name, as another thread would right after that answer.
class GrowingNamePlugin : public QX4Controller::ZephCorvane {
public:
    GrowingNamePlugin() : ZephCorvane(silentHost) {
        SetProperty(prop::kMidiSourceName, 0, 0, "Loop", 5);
    }
    std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                 std::uint32_t* size, bool* writable) override {
        const std::int32_t result =
            ZephCorvane::GetPropertyInfo(id, scope, element, size, writable);
        if (id == prop::kMidiSourceName && !grown) {
            grown = true;
            SetProperty(prop::kMidiSourceName, 0, 0, longName.c_str(),
                        static_cast<std::uint32_t>(longName.size() + 1));
        }
        return result;
    }
    bool grown = false;
    const std::string longName = std::string(300, 'x') + " Port 1";
};

class GrowingName : public LayoutTest {
protected:
    enum Reader { kDialog, kTextField, kButton, kLuaFlag };

    void SetUp() override {
        LayoutTest::SetUp();
        plugin = std::make_unique<GrowingNamePlugin>();
        Build();
    }
    GrowingNamePlugin& growing() { return static_cast<GrowingNamePlugin&>(*plugin); }

    // The name as the reader shows it; a flag reader says "set" or "empty".
    std::string Read(Reader reader) {
        switch (reader) {
            case kDialog:
                return QX::PropertyDialogModel::ReadProperty(*plugin, prop::kMidiSourceName);
            case kTextField: {
                auto* field = new QX::PropertyTextField(manager.get(), prop::kMidiSourceName,
                                                        "Enter MIDI source", 0, 0, 200, 20);
                field->PropertyChanged();
                return field->Value();
            }
            case kButton: {
                // Read on every frame by the render thread.
                auto* button =
                    new QX::PlexPropertyButton(manager.get(), "Source", prop::kMidiSourceName, 0, 0,
                                               50, 20, -1, QX::PlexPropertyButton::kIndicator);
                return button->ReadProperty() ? "set" : "empty";
            }
            case kLuaFlag: {
                const std::string error = Run("assert(getBooleanProperty(" +
                                              std::to_string(prop::kMidiSourceName) + "))");
                return error.empty() ? "set" : error;
            }
        }
        return {};
    }
};

TEST_F(GrowingName, EveryReaderGetsTheNameAsItIsAfterTheChange) {
    const struct {
        Reader reader;
        bool flag;
    } cases[] = {{kDialog, false}, {kTextField, false}, {kButton, true}, {kLuaFlag, true}};
    for (const auto& c : cases) {
        growing().grown = false;
        growing().SetProperty(prop::kMidiSourceName, 0, 0, "Loop", 5);
        const std::string shown = Read(c.reader);
        // The flag readers need no size question: one bounded copy.
        EXPECT_TRUE(growing().grown || c.flag) << c.reader;
        EXPECT_EQ(shown, c.flag ? "set" : growing().longName) << c.reader;
    }
}

}  // namespace
}  // namespace layouttest
