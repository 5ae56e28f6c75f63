// Script errors raised on the audio thread reach a reporting thread: every
// one counted, the first one's text kept, nothing lost or torn while both
// threads run.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "script/CallbackErrorMailbox.h"

namespace {

TEST(CallbackErrorMailbox, CountsEveryErrorAndKeepsTheFirstTextOfEachTake) {
    QX::CallbackErrorMailbox mail;
    std::string text;
    long count = 0;
    EXPECT_FALSE(mail.take(text, count));

    mail.record("a.lua:1: first");
    mail.record("a.lua:2: second");
    mail.record(nullptr);
    ASSERT_TRUE(mail.take(text, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(text, "a.lua:1: first");
    EXPECT_FALSE(mail.take(text, count));

    // The slot is free again; a text too long for it is cut, not overrun.
    mail.record(std::string(1000, 'x').c_str());
    ASSERT_TRUE(mail.take(text, count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(text, std::string(QX::CallbackErrorMailbox::kTextBytes - 1, 'x'));
}

TEST(CallbackErrorMailbox, ARecorderAndATakerRunningTogetherLoseNoCountAndTearNoText) {
    QX::CallbackErrorMailbox mail;
    constexpr long kErrors = 20000;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        // Texts of two lengths: a torn copy would mix them.
        for (long i = 0; i < kErrors; ++i)
            mail.record(i % 2 ? "odd.lua:1: oooooooooooooooooooooooooo" : "even.lua:2: ee");
        done = true;
    });
    long total = 0, texts = 0;
    std::string text;
    long count = 0;
    for (;;) {
        const bool finished = done.load();
        while (mail.take(text, count)) {
            total += count;
            if (!text.empty()) {
                ++texts;
                EXPECT_TRUE(text == "odd.lua:1: oooooooooooooooooooooooooo" ||
                            text == "even.lua:2: ee")
                    << text;
            }
        }
        if (finished)
            break;
    }
    audio.join();
    EXPECT_EQ(total, kErrors);
    EXPECT_GE(texts, 1);
}

TEST(CallbackErrorMailbox, LuaMessagesNameTheScriptAndLineAsTheUserKnowsThem) {
    struct Case {
        const char* message;
        const char* where;
        const char* what;
    };
    const Case cases[] = {
        {"/home/me/.local/share/Vantrell/tavro/Scripts/echo.lua:3: attempt to index local "
         "'missing' (a nil value)",
         "echo.lua, line 3", "attempt to index local 'missing' (a nil value)"},
        {"C:\\Users\\me\\Scripts\\pad.lua:12: boom: twice", "pad.lua, line 12", "boom: twice"},
        {"...ts/long.lua:7: '=' expected near 'x'", "long.lua, line 7", "'=' expected near 'x'"},
        {"[string \"gui.lua\"]:40: bad argument #1", "gui.lua, line 40", "bad argument #1"},
        {"cannot open /x/y.lua", "", "cannot open /x/y.lua"},
        {"interrupted: the plug-in is closing", "", "interrupted: the plug-in is closing"},
    };
    for (const Case& c : cases) {
        std::string where, what;
        QX::splitScriptError(c.message, where, what);
        EXPECT_EQ(where, c.where) << c.message;
        EXPECT_EQ(what, c.what) << c.message;
    }
}

}  // namespace
