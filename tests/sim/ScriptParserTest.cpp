#include <gtest/gtest.h>

#include "ScriptParser.h"

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
        {"type \"# not a comment\" # but this is", CommandKind::Type, "# not a comment"},
        {"type a \"quoted\" middle", CommandKind::Type, "a \"quoted\" middle"},
        {"type Café ☕", CommandKind::Type, "Café ☕"},
        {"answer New list", CommandKind::Answer, "New list"},
        {"answer \"\"", CommandKind::Answer, ""},
        {"submit", CommandKind::Submit, ""},
        {"cancel  ", CommandKind::Cancel, ""},
        {"close # done", CommandKind::Close, ""},
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
        {"front # comment only", "front needs an argument"},
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
