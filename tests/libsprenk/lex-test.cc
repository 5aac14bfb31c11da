// The tokeniser: token boundaries, kinds and flags in each dialect, and the
// diagnostics of malformed input.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

namespace {

struct lex_case {
  source_dialect dialect;
  const char *text;
  words expected;
};

words lex_in(source_dialect dialect, const char *text)
{
  pp_fixture f(dialect);
  return f.lex(text);
}

TEST(Lex, TokenBoundaries)
{
  const lex_case cases[] = {
      {DIALECT_KAV17, "a+++++b", {"a", "++", "++", "+", "b"}},
      {DIALECT_KAV17, "x>>=y<<=z", {"x", ">>=", "y", "<<=", "z"}},
      {DIALECT_KAV17, "a->b.c...d", {"a", "->", "b", ".", "c", "...", "d"}},
      {DIALECT_KAV17, "a..b", {"a", ".", ".", "b"}},
      {DIALECT_KAV17, "p->*q .*r", {"p", "->", "*", "q", ".", "*", "r"}},
      {DIALECT_KAVXX17, "p->*q .*r", {"p", "->*", "q", ".*", "r"}},
      {DIALECT_KAV17, "#define ## #", {"#", "define", "##", "#"}},
      {DIALECT_KAV17, "&&& |||", {"&&", "&", "||", "|"}},
      {DIALECT_KAV17, "a!=b==c", {"a", "!=", "b", "==", "c"}},
      {DIALECT_KAV17, "@ ` \\", {"@", "`", "\\"}},
      // Digraphs.
      {DIALECT_KAV17, "%:%: %: <: :> <% %>", {"%:%:", "%:", "<:", ":>", "<%", "%>"}},
      {DIALECT_STDC89, "%:%: <:", {"%", ":", "%", ":", "<", ":"}},
      // "<::" is "<" "::" from C++11 on unless ':' or '>' follows.
      {DIALECT_CXX11, "<::x", {"<", "::", "x"}},
      {DIALECT_CXX11, "<:::", {"<:", "::"}},
      {DIALECT_CXX11, "<::>", {"<:", ":>"}},
      {DIALECT_CXX98, "<::", {"<:", ":"}},
      {DIALECT_STDC17, "a::b", {"a", ":", ":", "b"}},
      {DIALECT_KAV17, "a::b", {"a", "::", "b"}},
      // The three-way comparison only from C++20 on.
      {DIALECT_CXX20, "x<=>y", {"x", "<=>", "y"}},
      {DIALECT_CXX17, "x<=>y", {"x", "<=", ">", "y"}},
      {DIALECT_KAV17, "x<=>y", {"x", "<=", ">", "y"}},
  };
  for (const lex_case &c : cases)
    EXPECT_EQ(lex_in(c.dialect, c.text), c.expected) << c.text;
}

TEST(Lex, Numbers)
{
  const lex_case cases[] = {
      {DIALECT_KAV17, "0x1.p+3", {"0x1.p+3"}},
      {DIALECT_STDC89, "0x1.p+3", {"0x1.p", "+", "3"}},
      {DIALECT_KAV17, "1e+5 1E-5 1f+2", {"1e+5", "1E-5", "1f", "+", "2"}},
      {DIALECT_KAV17, ".5.e+x", {".5.e+x"}},
      {DIALECT_KAV17, "12ab_3$", {"12ab_3$"}},
      {DIALECT_CXX14, "1'000'000", {"1'000'000"}},
      {DIALECT_CXX14, "1'e+2", {"1'e", "+", "2"}},
      // A number never ends in a separator: "'+2" is an unterminated character.
      {DIALECT_CXX14, "0x1p'+2", {"0x1p", "'+2"}},
      {DIALECT_CXX14, "12'", {"12", "'"}},
  };
  for (const lex_case &c : cases) {
    pp_fixture f(c.dialect);
    // The stray apostrophe of the last case is an unterminated character.
    EXPECT_EQ(f.lex(c.text), c.expected) << c.text;
  }
}

TEST(Lex, AdjacentDigitSeparators)
{
  pp_fixture f(DIALECT_CXX14);
  EXPECT_EQ(f.lex("1''0"), (words{"1''0"}));
  EXPECT_EQ(f.reports, (words{"error: adjacent digit separators"}));
}

TEST(Lex, LiteralKinds)
{
  const lex_case cases[] = {
      {DIALECT_KAVXX17,
       "\"s\" L\"s\" u\"s\" U\"s\" u8\"s\" 'c' L'c' u'c' U'c' u8'c'",
       {"STRING \"s\"", "WSTRING L\"s\"", "STRING16 u\"s\"", "STRING32 U\"s\"",
        "UTF8STRING u8\"s\"", "CHAR 'c'", "WCHAR L'c'", "CHAR16 u'c'", "CHAR32 U'c'",
        "UTF8CHAR u8'c'"}},
      // Without the prefixes the letters are identifiers.
      {DIALECT_STDC89, "u\"s\" L\"s\" u8'c'", {"NAME u", "STRING \"s\"", "WSTRING L\"s\"",
                                              "NAME u8", "CHAR 'c'"}},
      {DIALECT_KAV17, "u8'c'", {"NAME u8", "CHAR 'c'"}},
      {DIALECT_KAVXX17, "\"s\"_x 'c'_y 12_z", {"STRING_USERDEF \"s\"_x", "CHAR_USERDEF 'c'_y",
                                              "NUMBER 12_z"}},
      {DIALECT_KAV17, "\"s\"_x", {"STRING \"s\"", "NAME _x"}},
      {DIALECT_KAV17, "\"a\\\"b\" '\\''", {"STRING \"a\\\"b\"", "CHAR '\\''"}},
      {DIALECT_KAV17, "xR\"a\"", {"NAME xR", "STRING \"a\""}},
  };
  for (const lex_case &c : cases) {
    pp_fixture f(c.dialect);
    EXPECT_EQ(f.kinds(c.text), c.expected) << c.text;
  }
}

TEST(Lex, MacroNameAfterLiteralWarnsAndStaysApart)
{
  pp_fixture f(DIALECT_KAVXX17);
  define_builtin_text(f.reader, "PRIx64 \"lx\"");
  EXPECT_EQ(f.kinds("\"%\"PRIx64"), (words{"STRING \"%\"", "NAME PRIx64"}));
  EXPECT_EQ(f.reports, (words{"warning: invalid suffix on literal; C++11 requires a space "
                              "between literal and string macro [19]"}));
}

TEST(Lex, UnterminatedLiterals)
{
  pp_fixture f;
  EXPECT_EQ(f.kinds("'ab\n\"cd\n"), (words{"OTHER 'ab", "OTHER \"cd"}));
  EXPECT_EQ(f.reports, (words{"pedwarn: missing terminating ' character",
                              "pedwarn: missing terminating \" character"}));
  pp_fixture asm_reader(DIALECT_ASM);
  asm_reader.lex("'a\n");
  EXPECT_TRUE(asm_reader.reports.empty());
}

TEST(Lex, HeaderNames)
{
  pp_fixture f;
  f.reader->state.angled_headers = 1;
  EXPECT_EQ(f.kinds("<stdio.h> <a\\b> <x y"),
            (words{"HEADER_NAME <stdio.h>", "HEADER_NAME <a\\b>", "OP <", "NAME x", "NAME y"}));
}

TEST(Lex, NullCharacters)
{
  pp_fixture f;
  std::vector<preproc_token> t = f.tokens(std::string(" \0 \0\t\n\"a\0b\"\n", 12));
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(t[0].value.str.text), t[0].value.str.length),
            std::string("\"a\0b\"", 5));
  EXPECT_EQ(f.reports, (words{"warning: null character(s) ignored",
                              "warning: null character(s) preserved in literal"}));
}

TEST(Lex, Flags)
{
  pp_fixture f(DIALECT_KAVXX17);
  std::vector<preproc_token> t = f.tokens("a /**/b\n  c%:d and e\n");
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[0].flags, TOK_LINE_START);
  EXPECT_EQ(t[1].flags, TOK_SPACE_BEFORE);
  EXPECT_EQ(t[2].flags, TOK_LINE_START | TOK_SPACE_BEFORE);
  EXPECT_EQ(t[3].flags, TOK_DIGRAPH);
  EXPECT_EQ(t[4].flags, 0);
  EXPECT_EQ(t[5].kind, TK_AND_AND);
  EXPECT_EQ(t[5].flags, TOK_SPACE_BEFORE | TOK_NAMED_OPERATOR);
  EXPECT_EQ(f.spell(&t[5]), "and");
  EXPECT_EQ(t[7].kind, TK_EOF);
  EXPECT_EQ(t[7].flags, TOK_LINE_START);
}

TEST(Lex, ColonPairWithoutScopeToken)
{
  pp_fixture f(DIALECT_STDC17);
  std::vector<preproc_token> t = f.tokens("a::b");
  EXPECT_EQ(t[1].flags & TOK_COLON_PAIR, TOK_COLON_PAIR);
  EXPECT_EQ(t[2].flags & TOK_COLON_PAIR, 0);
}

TEST(Lex, Locations)
{
  pp_fixture f;
  std::vector<preproc_token> t = f.tokens("ab cd\n\tef\\\ngh ij\n");
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(f.where(t[0].location), "1:1");
  EXPECT_EQ(f.where(t[1].location), "1:4");
  EXPECT_EQ(f.where(t[2].location), "2:2");
  EXPECT_EQ(f.where(t[3].location), "3:4");
  // A token's location carries its range.
  location_span span = linemap_location_range(f.lines.get(), t[1].location);
  EXPECT_EQ(f.where(span.finish), "1:5");
}

TEST(Lex, EndOfFileHasALineOfItsOwn)
{
  pp_fixture f;
  std::vector<preproc_token> t = f.tokens("a\nb\n");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(f.where(t[2].location), "3:0");
  EXPECT_EQ(t[2].flags, TOK_LINE_START);
}

TEST(Lex, DollarsInIdentifiers)
{
  pp_fixture f;
  EXPECT_EQ(f.kinds("$a b$ $"), (words{"NAME $a", "NAME b$", "NAME $"}));
  EXPECT_EQ(f.reports, (words{"pedwarn: '$' in identifier or number"}));
  pp_fixture g;
  g.options()->dollars_in_identifiers = 0;
  EXPECT_EQ(g.kinds("$a"), (words{"OTHER $", "NAME a"}));
}

TEST(Lex, ExtendedIdentifiers)
{
  pp_fixture f(DIALECT_KAV17);
  std::vector<preproc_token> t = f.tokens("\\u00e9t\xC3\xA9 caf\xC3\xA9 \xC3\xA9");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_STREQ(t[0].value.ident.node->text, "\xC3\xA9t\xC3\xA9");
  EXPECT_STREQ(t[0].value.ident.spelling->text, "\\u00e9t\xC3\xA9");
  EXPECT_EQ(t[1].value.ident.node, t[1].value.ident.spelling);
  EXPECT_EQ(t[2].kind, TK_NAME);
  // In C90 no extended characters: a UTF-8 character is one OTHER token.
  pp_fixture c90(DIALECT_STDC89);
  EXPECT_EQ(c90.kinds("a\xC3\xA9"), (words{"NAME a", "OTHER \xC3\xA9"}));
  EXPECT_EQ(c90.kinds("\x80z"), (words{"OTHER \x80", "NAME z"}));
}

TEST(Lex, RejectedUniversalCharacterNameInAnIdentifier)
{
  pp_fixture f(DIALECT_KAV17);
  std::vector<preproc_token> t = f.tokens("a\\u0041");
  ASSERT_EQ(t.size(), 2u);
  // Reported once, when scanned; the identifier holds the letter itself.
  EXPECT_EQ(f.reports, (words{"error: \\u0041 is not a valid universal character"}));
  EXPECT_STREQ(t[0].value.ident.node->text, "aA");
  EXPECT_STREQ(t[0].value.ident.spelling->text, "a\\u0041");
}

// Which characters each dialect lets into an identifier, and the reports
// for those it does not; tokens as "KIND spelling as written".
TEST(Lex, IdentifierCharactersByDialect)
{
  struct {
    source_dialect dialect;
    bool pedantic;
    const char *text;
    words tokens;
    words reports;
  } cases[] = {
      {DIALECT_STDC99, true, "a\\u00A8", {"NAME a\\u00A8"},
       {"error: universal character \\u00A8 is not valid in an identifier"}},
      {DIALECT_STDC99, false, "a\\u00A8", {"NAME a\\u00A8"}, {}},
      {DIALECT_STDC99, true, "\\u0660 a\\u0660", {"NAME \\u0660", "NAME a\\u0660"},
       {"error: universal character \\u0660 is not valid at the start of an identifier"}},
      {DIALECT_STDC11, true, "\\u0300a", {"NAME \\u0300a"},
       {"error: universal character \\u0300 is not valid at the start of an identifier"}},
      {DIALECT_CXX20, false, "a\\u0041", {"NAME a\\u0041"},
       {"error: universal character \\u0041 is not valid in an identifier"}},
      // A UTF-8 character C does not allow ends the identifier.
      {DIALECT_STDC99, true, "a\xC2\xA8", {"NAME a", "OTHER \xC2\xA8"}, {}},
      {DIALECT_CXX20, true, "a\xC2\xA8", {"NAME a\xC2\xA8"},
       {"error: extended character \xC2\xA8 is not valid in an identifier"}},
      {DIALECT_STDC11, true, "\xCC\x80z z\xCC\x80", {"NAME \xCC\x80z", "NAME z\xCC\x80"},
       {"error: extended character \xCC\x80 is not valid at the start of an identifier"}},
  };
  for (const auto &c : cases) {
    pp_fixture f(c.dialect);
    f.options()->pedantic_mode = c.pedantic;
    words tokens;
    for (const preproc_token &t : f.tokens(c.text)) {
      if (t.kind == TK_NAME)
        tokens.push_back(std::string("NAME ") + t.value.ident.spelling->text);
      else if (t.kind != TK_EOF)
        tokens.push_back("OTHER " + std::string(reinterpret_cast<const char *>(t.value.str.text),
                                                t.value.str.length));
    }
    EXPECT_EQ(tokens, c.tokens) << c.text;
    EXPECT_EQ(f.reports, c.reports) << c.text;
  }
}

// The warning for an identifier out of the form -Wnormalized= asks for,
// spelled with universal character names.
TEST(Lex, NormalizationWarnings)
{
  struct {
    source_dialect dialect;
    int32_t level; // -Wnormalized=: 0 nfkc, 1 nfc, 2 id, 3 none
    const char *text;
    words reports;
  } cases[] = {
      {DIALECT_STDC11, 1, "A\\u0300", {"warning: `A\\U00000300' is not in NFC [16]"}},
      {DIALECT_CXX20, 1, "A\xCC\x80", {"pedwarn: `A\\U00000300' is not in NFC [16]"}},
      {DIALECT_STDC11, 1, "\\u00C2\\u0300", {"warning: `\\U000000c2\\U00000300' is not in NFC [16]"}},
      {DIALECT_STDC11, 1, "\\u1100\\u1161", {"warning: `\\U00001100\\U00001161' is not in NFC [16]"}},
      {DIALECT_STDC11, 2, "\\u1100\\u1161", {}},
      {DIALECT_STDC11, 2, "A\\u0300", {"warning: `A\\U00000300' is not in NFC [16]"}},
      {DIALECT_STDC11, 3, "A\\u0300", {}},
      {DIALECT_STDC11, 1, "\\u00C0\\u0300 E\\u0301", {"warning: `E\\U00000301' is not in NFC [16]"}},
      {DIALECT_STDC11, 1, "x\\u00AA", {}},
      {DIALECT_STDC11, 0, "x\\u00AA", {"warning: `x\\U000000aa' is not in NFKC [16]"}},
      // Skipped text is not checked.
      {DIALECT_STDC11, 1, "#if 0\nA\\u0300\n#endif\n", {}},
  };
  for (const auto &c : cases) {
    pp_fixture f(c.dialect);
    f.options()->normalization_warning_level = c.level;
    f.push(c.text);
    f.expanded();
    EXPECT_EQ(f.reports, c.reports) << c.text;
  }
}

TEST(Lex, IdentifierChecks)
{
  pp_fixture f(DIALECT_KAV17);
  f.lex("__VA_ARGS__ __VA_OPT__");
  EXPECT_EQ(f.reports,
            (words{"pedwarn: __VA_ARGS__ can only appear in the expansion of a C99 variadic macro",
                   "pedwarn: __VA_OPT__ can only appear in the expansion of a C++20 variadic "
                   "macro"}));
  pp_fixture g(DIALECT_STDC99);
  g.options()->warn_operator_names = 1;
  g.lex("xor");
  EXPECT_EQ(g.reports,
            (words{"warning: identifier \"xor\" is a special operator name in C++ [15]"}));
}

TEST(Lex, LookAhead)
{
  pp_fixture f;
  f.push("a b");
  EXPECT_EQ(f.spell(cpp_look_ahead(f.reader, 1)), "b");
  EXPECT_EQ(cpp_look_ahead(f.reader, 2)->kind, TK_EOF);
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "a");
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "b");
  EXPECT_EQ(cpp_get_token(f.reader)->kind, TK_EOF);
}

// Looking ahead reads what the stream gives, directives run on the way
// included, and leaves the stream as it was: a deferred pragma's state
// starts only when its PRAGMA token is read for real.
TEST(Lex, LookAheadAcrossDirectives)
{
  struct {
    const char *text;
    uint32_t index;
    const char *seen;
    const char *stream;
  } cases[] = {
      {"a\n#pragma omp parallel x\nb", 1, "PRAGMA 7", "a PRAGMA 7 x EOL b"},
      {"a\n#pragma omp parallel x\nb", 3, "PRAGMA 7", "a PRAGMA 7 x EOL b"},
      {"#define a A\na\n#pragma omp parallel a\nb", 1, "PRAGMA 7", "A PRAGMA 7 a EOL b"},
      {"a\n#define X 1\nX b", 1, "X", "a 1 b"},
      {"a\n#define X 1\n#undef X\nX b", 2, "b", "a X b"},
      {"a\n#if 0\nc\n#endif\nb", 1, "b", "a b"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, false, false));
    f.push(c.text);
    const preproc_token *seen = cpp_look_ahead(f.reader, c.index);
    EXPECT_EQ(seen->kind == TK_PRAGMA ? "PRAGMA " + std::to_string(seen->value.pragma_id)
                                      : f.spell(seen),
              c.seen)
        << c.text;
    EXPECT_EQ(f.expanded(), c.stream) << c.text;
  }
}

TEST(Lex, FixedLocation)
{
  pp_fixture f;
  f.push("a b");
  cpp_fix_token_location(f.reader, BUILTINS_LOCATION);
  EXPECT_EQ(cpp_get_token(f.reader)->location, BUILTINS_LOCATION);
  cpp_unfix_token_location(f.reader);
  EXPECT_EQ(f.where(cpp_get_token(f.reader)->location), "1:3");
}

TEST(Lex, ManyTokensOnOneLineOutgrowTheFirstBlock)
{
  pp_fixture f;
  std::string text;
  for (int i = 0; i < 600; i++)
    text += "x ";
  f.reader->keep_tokens = 1;
  EXPECT_EQ(f.lex(text).size(), 600u);
}

TEST(Lex, InternIdentifierText)
{
  pp_fixture f;
  ident_node *node = _cpp_intern_identifier_text(f.reader, "abc");
  EXPECT_EQ(node, cpp_intern(f.reader, "abc", 3));
  EXPECT_TRUE(cpp_token_is_name(f.tokens("abc").data(), "abc"));
}

} // namespace

namespace {

// Tokens of TEXT in C++20 with modules, spelled as the client gets them.
words module_tokens(const char *text)
{
  pp_fixture f(DIALECT_CXX20);
  f.options()->module_support = 1;
  words out;
  f.push(text);
  for (const preproc_token *t = cpp_get_token(f.reader); t->kind != TK_EOF;
       t = cpp_get_token(f.reader))
    out.push_back(t->kind == TK_PRAGMA_EOL ? "EOL" : f.spell(t));
  return out;
}

TEST(Lex, ModuleControlLines)
{
  struct {
    const char *text;
    words expected;
  } cases[] = {
      {"export module m;\nx", {"export ", "module ", "m", ";", "EOL", "x"}},
      // "__import" names its header as written (an "import" looks it up).
      {"__import <vector>;\n", {"import ", "./vector", ";", "EOL"}},
      {"__import \"a.h\";\n", {"import ", "./a.h", ";", "EOL"}},
      {"module;\n", {"module ", ";", "EOL"}},
      // Not control lines: the words stay identifiers.
      {"module = 3;\n", {"module", "=", "3", ";"}},
      {"export int x;\n", {"export", "int", "x", ";"}},
      {"import\nx\n", {"import", "x"}},
      {"a import b;\n", {"a", "import", "b", ";"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(module_tokens(c.text), c.expected) << c.text;
}

// A printer writes the header name between quotes, once.
TEST(Lex, ModuleHeaderNamePrintsQuotedOnce)
{
  pp_fixture f(DIALECT_CXX20);
  f.options()->module_support = 1;
  f.push("__import <h>;\n");
  const preproc_token *t = cpp_get_token(f.reader);
  while (t->kind != TK_HEADER_NAME && t->kind != TK_EOF)
    t = cpp_get_token(f.reader);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  cpp_print_token(t, stream);
  fclose(stream);
  EXPECT_EQ(std::string(text, size), "\"./h\"");
  free(text);
}

TEST(Lex, ModuleKeywordThatIsAnObjectLikeMacro)
{
  pp_fixture f(DIALECT_CXX20);
  f.options()->module_support = 1;
  reader_post_options(f.reader);
  f.posted = true;
  define_builtin_text(f.reader, "import 1");
  f.tokens("import m;\n");
  EXPECT_EQ(f.reports,
            (words{"error: module control-line \"import\" cannot be an object-like macro"}));
}

} // namespace

// A look-ahead from inside a pragma's line past its end leaves the rest of
// the line to be read under the pragma's rules, the next line without them.
TEST(Lex, LookAheadPastAPragmasLine)
{
  for (bool expands : {false, true}) {
    pp_fixture f;
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, expands, false));
    f.push("#define a A\n#define b B\n#pragma omp parallel a b\nb a\n");
    EXPECT_EQ(cpp_get_token(f.reader)->kind, TK_PRAGMA);
    EXPECT_EQ(f.spell(cpp_look_ahead(f.reader, 3)), "b");
    EXPECT_EQ(f.expanded(), expands ? "A B EOL B A" : "a b EOL B A") << expands;
  }
}

// A raw string goes on over the newlines of a pragma's line, as outside
// one; left open, it stops at the end of the buffer's last line, where the
// line still ends, and (found by fuzzing) looking ahead never reads past the
// input.
TEST(Lex, RawStringOnAPragmasLine)
{
  struct {
    const char *text;
    const char *stream;
    bool unterminated;
  } cases[] = {
      {"a\n#pragma omp parallel R\"x(\ny)x\" z\nb\n", "a PRAGMA 7 R\"x(\ny)x\" z EOL b", false},
      {"a\n#pragma omp parallel R\"x(\nb\n", "a PRAGMA 7 R\"x(\nb EOL", true},
      {"a\n#pragma omp parallel R\"x(\n", "a PRAGMA 7 R\"x( EOL", true},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, false, false));
    f.push(c.text);
    EXPECT_EQ(cpp_look_ahead(f.reader, 2)->kind, TK_PRAGMA) << c.text;
    EXPECT_EQ(f.expanded(), c.stream) << c.text;
    EXPECT_EQ(cpp_look_ahead(f.reader, 2)->kind, TK_EOF) << c.text;
    EXPECT_EQ(f.reports, c.unterminated ? words{"error: unterminated raw string"} : words{})
        << c.text;
  }
}

// A module control line read by a look-ahead reads the same again.
TEST(Lex, LookAheadAcrossAModuleLine)
{
  const char *text = "a\nimport foo;\nb\nexport module m;\nc\n__import <h>;\nd\n";
  pp_fixture plain(DIALECT_CXX20);
  plain.options()->module_support = 1;
  plain.push(text);
  std::string expected = plain.expanded();
  EXPECT_EQ(expected, "a import  foo ; EOL b export  module  m ; EOL c import  ./h ; EOL d");
  // (A look-ahead past a whole header-unit import line is not covered: the
  // line's header-name count starts when the look-ahead reads it.)
  for (uint32_t index : {1u, 2u, 5u, 9u, 11u}) {
    pp_fixture f(DIALECT_CXX20);
    f.options()->module_support = 1;
    f.push(text);
    cpp_look_ahead(f.reader, index);
    EXPECT_EQ(f.expanded(), expected) << index;
  }
}
