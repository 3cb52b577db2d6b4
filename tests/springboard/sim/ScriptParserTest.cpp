#include <gtest/gtest.h>

#include "ScriptParser.h"
#include "Suggestion.h"

using sim::CommandKind;
using sim::parseScript;
using sim::parseScriptLine;

namespace {

struct GoodLine {
    const char* line;
    CommandKind kind;
    const char* argument;
};

TEST(ScriptParser, ReadsEachCommandWithItsArgument) {
    const GoodLine cases[] = {
        {"front com.apple.mobilesafari", CommandKind::Front, "com.apple.mobilesafari"},
        {"front home", CommandKind::Front, "home"},
        {"open", CommandKind::Open, ""},
        {"pick Create List...", CommandKind::Pick, "Create List..."},
        {"pick   Bread & Butter   ", CommandKind::Pick, "Bread & Butter"},
        {"type Buy  milk", CommandKind::Type, "Buy  milk"},
        {"\ttype\tC# tips", CommandKind::Type, "C# tips"},
        {"type \"\"", CommandKind::Type, ""},
        {"type \"  padded  \"", CommandKind::Type, "  padded  "},
        {"type \"say \\\"hi\\\" \\\\ bye\\nnext\"", CommandKind::Type, "say \"hi\" \\ bye\nnext"},
        {"type Fix bug #12", CommandKind::Type, "Fix bug #12"},
        {"pick #hashtag", CommandKind::Pick, "#hashtag"},
        {"type 'a # b'", CommandKind::Type, "a # b"},
        {"type 'say \"hi\" \\n'", CommandKind::Type, "say \"hi\" \\n"},
        {"type ''", CommandKind::Type, ""},
        {"notify 'with space' {}", CommandKind::Notify, "with space"},
        {"type a \"quoted\" middle", CommandKind::Type, "a \"quoted\" middle"},
        {"type Café ☕", CommandKind::Type, "Café ☕"},
        {"answer New list", CommandKind::Answer, "New list"},
        {"answer \"\"", CommandKind::Answer, ""},
        {"submit", CommandKind::Submit, ""},
        {"cancel  ", CommandKind::Cancel, ""},
        {"wait\r", CommandKind::Wait, ""},
        {"ipc VLIPC.Lists", CommandKind::Ipc, "VLIPC.Lists"},
        {"notify VLIPC.Kill {\"identifier\":\"com.apple.springboard\"}", CommandKind::Notify, "VLIPC.Kill"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto parsed = parseScriptLine(c.line, 7);
        ASSERT_FALSE(parsed.error) << parsed.error->message;
        ASSERT_TRUE(parsed.command);
        EXPECT_EQ(parsed.command->kind, c.kind);
        EXPECT_EQ(parsed.command->argument, c.argument);
        EXPECT_EQ(parsed.command->line, 7);
    }
}

TEST(ScriptParser, BlankAndCommentLinesGiveNothing) {
    for (const char* line : {"", "   ", "\t\r", "# a comment", "   # indented comment", "#open"}) {
        auto parsed = parseScriptLine(line, 1);
        EXPECT_FALSE(parsed.command) << line;
        EXPECT_FALSE(parsed.error) << line;
    }
}

TEST(ScriptParser, AtThePromptNothingIsAComment) {
    for (const char* line : {"# a comment", "  #open"}) {
        auto parsed = parseScriptLine(line, 1, sim::LineSource::Prompt);
        ASSERT_TRUE(parsed.error) << line;
        EXPECT_NE(parsed.error->message.find("unknown command \"#"), std::string::npos) << parsed.error->message;
    }
    auto typed = parseScriptLine("type # is text", 1, sim::LineSource::Prompt);
    ASSERT_TRUE(typed.command);
    EXPECT_EQ(typed.command->argument, "# is text");
}

// What completion inserts is read back as exactly the title: every string of
// up to four characters over the characters that matter to the parser.
TEST(ScriptParser, QuotedArgumentsReadBackExactly) {
    const std::vector<std::string> alphabet = {" ", "\t", "\"", "'", "\\", "#", "a", "é", "\n"};
    std::vector<std::string> titles = {""};
    for (std::size_t length = 0, begin = 0; length < 4; ++length) {
        std::size_t end = titles.size();
        for (std::size_t i = begin; i < end; ++i)
            for (const auto& c : alphabet) titles.push_back(titles[i] + c);
        begin = end;
    }
    titles.insert(titles.end(), {"  Weekend  ", "\"Quoted\" list", "'single", "C# tips", "Create List..."});
    for (const auto& title : titles)
        for (auto source : {sim::LineSource::Script, sim::LineSource::Prompt}) {
            auto parsed = parseScriptLine("pick " + sim::quoteArgument(title), 1, source);
            ASSERT_TRUE(parsed.command) << "[" << title << "] " << (parsed.error ? parsed.error->message : "");
            ASSERT_EQ(parsed.command->argument, title) << sim::quoteArgument(title);
        }
    EXPECT_EQ(sim::quoteArgument("Bread & Butter"), "Bread & Butter");  // left alone when unambiguous
}

TEST(ScriptParser, PartialArgumentsGiveTheTextTypedSoFar) {
    const struct {
        const char* typed;
        const char* text;
    } cases[] = {
        {"", ""}, {"  Gro", "Gro"}, {" \"Q", "Q"}, {" \"a\\\"b", "a\"b"}, {" 'a # ", "a # "}, {" \"  pad", "  pad"},
        {" \"done\"", "done"},
    };
    for (const auto& c : cases) EXPECT_EQ(sim::partialArgument(c.typed), c.text) << c.typed;
}

TEST(ScriptParser, ErrorsQuoteAShortExcerpt) {
    const std::string longText(5000, 'x');
    for (const std::string& line : {longText, "pick-index " + longText, "ipc A {" + longText})
        for (auto source : {sim::LineSource::Script, sim::LineSource::Prompt}) {
            auto parsed = parseScriptLine(line, 1, source);
            ASSERT_TRUE(parsed.error);
            EXPECT_LT(parsed.error->message.size(), 160u) << parsed.error->message;
        }
    EXPECT_EQ(sim::excerpt("caf\u00e9\u00e9\u00e9", 7), "caf\u2026");  // never splits a character
}

TEST(ScriptParser, JsonNestedTooDeeplyIsAnError) {
    auto nested = [](int depth) { return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}"; };
    std::string error;
    EXPECT_TRUE(sim::parseJsonObject(nested(sim::kMaxJsonDepth), error)) << error;
    EXPECT_FALSE(sim::parseJsonObject(nested(sim::kMaxJsonDepth + 1), error));
    EXPECT_NE(error.find("nests deeper than 512"), std::string::npos) << error;
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(sim::parseJsonObject("{\"a\":\"" + std::string(10000, '[') + "\"}", error)) << error;
    auto line = parseScriptLine("notify N " + nested(16000), 3);
    ASSERT_TRUE(line.error);
    EXPECT_NE(line.error->message.find("nests deeper"), std::string::npos);
}

TEST(Suggestion, NearestWordOnlyWhenClose) {
    const std::vector<std::string> words = {"open", "close", "submit", "pick", "pick-index", "run", "serve"};
    const struct {
        const char* typed;
        const char* suggested;  // "" for none
    } cases[] = {{"opn", "open"}, {"sumbit", "submit"}, {"pick-idx", "pick-index"}, {"rnu", "run"},
                 {"xyz", ""}, {"open", ""}, {"", ""}, {"closes", "close"}};
    for (const auto& c : cases) {
        auto suggestion = sim::closestWord(c.typed, words);
        EXPECT_EQ(suggestion.value_or(""), c.suggested) << c.typed;
    }
}

TEST(ScriptParser, PayloadsAreJsonObjects) {
    auto plain = parseScriptLine("ipc VLIPC.Lists", 1);
    ASSERT_TRUE(plain.command);
    EXPECT_EQ(plain.command->payload, nlohmann::json::object());

    auto given = parseScriptLine("notify VLIPC.Kill {\"identifier\": \"a # b\", \"n\": [1, 2.5]}", 1);
    ASSERT_TRUE(given.command) << given.error->message;
    EXPECT_EQ(given.command->payload["identifier"], "a # b");
    EXPECT_EQ(given.command->payload["n"][1], 2.5);

    auto quotedName = parseScriptLine("notify \"with space\" {}", 1);
    ASSERT_TRUE(quotedName.command);
    EXPECT_EQ(quotedName.command->argument, "with space");
}

TEST(ScriptParser, PickIndexTakesAWholeNumber) {
    auto parsed = parseScriptLine("pick-index 3", 1);
    ASSERT_TRUE(parsed.command);
    EXPECT_EQ(parsed.command->kind, CommandKind::PickIndex);
    EXPECT_EQ(parsed.command->index, 3);
}

struct BadLine {
    const char* line;
    const char* messagePart;
};

TEST(ScriptParser, RefusesWhatItCannotRead) {
    const BadLine cases[] = {
        {"dance", "unknown command \"dance\""},
        {"Open", "unknown command \"Open\""},
        {"open now", "open takes no argument"},
        {"submit please", "submit takes no argument"},
        {"type", "type needs an argument"},
        {"pick   ", "pick needs an argument"},
        {"close # done", "close takes no argument"},
        {"type \"done\" # not a comment", "unexpected text after the closing quote"},
        {"type 'unterminated", "unterminated quoted text"},
        {"opn", "unknown command \"opn\" (did you mean \"open\"?)"},
        {"sumbit", "(did you mean \"submit\"?)"},
        {"type \"unterminated", "unterminated quoted text"},
        {"type \"bad \\t escape\"", "unknown escape \\t"},
        {"type \"done\" extra", "unexpected text after the closing quote"},
        {"pick-index", "pick-index needs a non-negative whole number"},
        {"pick-index two", "pick-index needs a non-negative whole number"},
        {"pick-index -1", "pick-index needs a non-negative whole number"},
        {"pick-index 1.5", "pick-index needs a non-negative whole number"},
        {"pick-index 99999999999999999999", "pick-index needs a non-negative whole number"},
        {"ipc", "ipc needs a name"},
        {"ipc VLIPC.Lists {not json}", "not valid JSON"},
        {"ipc VLIPC.Lists [1,2]", "must be an object"},
        {"notify VLIPC.Kill \"str\"", "must be an object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto parsed = parseScriptLine(c.line, 12);
        EXPECT_FALSE(parsed.command);
        ASSERT_TRUE(parsed.error);
        EXPECT_EQ(parsed.error->line, 12);
        EXPECT_NE(parsed.error->message.find(c.messagePart), std::string::npos) << parsed.error->message;
        EXPECT_EQ(parsed.error->message.find('\n'), std::string::npos);
    }
}

TEST(ScriptParser, WholeScriptKeepsOrderAndLineNumbers) {
    auto script = parseScript("# add a task\nfront com.apple.mobilesafari\n\nopen\r\ntype Milk\nsubmit");
    ASSERT_FALSE(script.error);
    ASSERT_EQ(script.commands.size(), 4u);
    EXPECT_EQ(script.commands[0].kind, CommandKind::Front);
    EXPECT_EQ(script.commands[0].line, 2);
    EXPECT_EQ(script.commands[1].line, 4);
    EXPECT_EQ(script.commands[2].argument, "Milk");
    EXPECT_EQ(script.commands[3].kind, CommandKind::Submit);
    EXPECT_EQ(script.commands[3].line, 6);
}

TEST(ScriptParser, WholeScriptStopsAtTheFirstBadLine) {
    auto script = parseScript("open\n\ntype ok\nbogus here\nalso bad\n");
    ASSERT_TRUE(script.error);
    EXPECT_EQ(script.error->line, 4);
    EXPECT_TRUE(script.commands.empty());
}

TEST(ScriptParser, CommandNamesRoundTrip) {
    for (const auto& name : sim::scriptCommandNames()) {
        std::string line = name;
        auto parsed = parseScriptLine(line, 1);
        if (parsed.command) EXPECT_EQ(sim::commandName(parsed.command->kind), name);
        else EXPECT_NE(parsed.error->message.find(name), std::string::npos);
    }
}

}  // namespace
