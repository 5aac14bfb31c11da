// Turning tokens back into text: spellings for diagnostics, directive texts
// and printed output, token comparison, and where a printer needs a space so
// that adjacent tokens do not paste into others.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

struct token_spelling_row {
  token_category category;
  const char *text;
  const char *name;
};

static const token_spelling_row token_spellings[TK_KIND_COUNT] = {
#define TOKEN_KIND(name, category, spelling) {category, spelling, &#name[3]},
#include "libsprenk/token-kinds.def"
#undef TOKEN_KIND
};

token_category cpp_kind_category(int kind)
{
  return token_spellings[kind].category;
}

const char *cpp_digraph_spelling(int kind)
{
  switch (kind) {
  case TK_HASH: return "%:";
  case TK_PASTE: return "%:%:";
  case TK_OPEN_SQUARE: return "<:";
  case TK_CLOSE_SQUARE: return ":>";
  case TK_OPEN_BRACE: return "<%";
  case TK_CLOSE_BRACE: return "%>";
  default: return nullptr;
  }
}

const char *cpp_kind_name(int kind, uint16_t flags)
{
  if (token_spellings[kind].category == TC_OPERATOR) {
    if (flags & TOK_DIGRAPH)
      return cpp_digraph_spelling(kind);
    if (flags & TOK_NAMED_OPERATOR)
      return named_operator_spelling(token_kind(kind));
    return token_spellings[kind].text;
  }
  return token_spellings[kind].name;
}

token_value_field cpp_token_value_field(const preproc_token *token)
{
  switch (token_spellings[token->kind].category) {
  case TC_IDENTIFIER: return TVF_NODE;
  case TC_LITERAL: return TVF_STRING;
  case TC_OPERATOR:
    if (token->kind == TK_PASTE)
      return TVF_PASTE_INDEX;
    return (token->flags & TOK_NAMED_OPERATOR) ? TVF_NODE : TVF_NONE;
  default:
    switch (token->kind) {
    case TK_MACRO_ARG: return TVF_PARAMETER;
    case TK_PADDING: return TVF_SOURCE;
    case TK_PRAGMA: return TVF_PRAGMA;
    default: return TVF_NONE;
    }
  }
}

uint64_t cpp_spelling_bound(const preproc_token *token)
{
  switch (token_spellings[token->kind].category) {
  case TC_LITERAL: return token->value.str.length;
  case TC_IDENTIFIER: return uint64_t(token->value.ident.node->length) * 10;
  default: return 6;
  }
}

uint32_t utf8_to_ucn(unsigned char *destination, const unsigned char *source)
{
  static const char hex[] = "0123456789abcdef";
  uint32_t length = 0;
  unsigned char lead = source[0];
  while (lead & (0x80 >> length))
    length++;
  uint32_t value = lead & (0xFF >> (length + 1));
  for (uint32_t i = 1; i < length; i++) {
    vuz_assert((source[i] & 0xC0) == 0x80);
    value = (value << 6) | (source[i] & 0x3F);
  }
  *destination++ = '\\';
  *destination++ = 'U';
  for (int shift = 28; shift >= 0; shift -= 4)
    *destination++ = static_cast<unsigned char>(hex[(value >> shift) & 0xF]);
  return length;
}

// Whether the first N bytes of TEXT are all ASCII, eight at a time.
static bool is_ascii(const unsigned char *text, uint32_t n)
{
  uint64_t high = 0;
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    memcpy(&word, text + i, 8);
    high |= word;
  }
  for (; i < n; i++)
    high |= text[i];
  return (high & 0x8080808080808080ull) == 0;
}

unsigned char *_cpp_write_ident_as_ucns(unsigned char *destination, const ident_node *node)
{
  const unsigned char *text = reinterpret_cast<const unsigned char *>(node->text);
  if (is_ascii(text, node->length)) {
    memcpy(destination, text, node->length);
    return destination + node->length;
  }
  unsigned char *out = destination;
  for (uint32_t i = 0; i < node->length;) {
    if (text[i] >= 0x80) {
      i += utf8_to_ucn(out, text + i);
      out += 10;
    } else {
      *out++ = text[i++];
    }
  }
  return out;
}

unsigned char *cpp_write_token_text(preprocessor_reader *reader, const preproc_token *token,
                                    unsigned char *destination, bool for_string)
{
  switch (token_spellings[token->kind].category) {
  case TC_OPERATOR: {
    const char *text = (token->flags & TOK_NAMED_OPERATOR) ? token->value.ident.node->text
                                                            : cpp_kind_name(token->kind, token->flags);
    // A few bytes at most: cheaper copied here than through a call.
    while (*text)
      *destination++ = static_cast<unsigned char>(*text++);
    return destination;
  }
  case TC_IDENTIFIER:
    if (for_string) {
      const ident_node *spelling = token->value.ident.spelling;
      memcpy(destination, spelling->text, spelling->length);
      return destination + spelling->length;
    }
    return _cpp_write_ident_as_ucns(destination, token->value.ident.node);
  case TC_LITERAL:
    memcpy(destination, token->value.str.text, token->value.str.length);
    return destination + token->value.str.length;
  default:
    diag_error(reader, DL_ICE, "unspellable token %s", token_spellings[token->kind].name);
    return destination;
  }
}

const unsigned char *cpp_token_text(preprocessor_reader *reader, const preproc_token *token)
{
  uint64_t bound = cpp_spelling_bound(token);
  unsigned char *start = _cpp_pool_alloc(reader, bound + 1);
  unsigned char *end = cpp_write_token_text(reader, token, start, false);
  *end = '\0';
  return start;
}

void cpp_print_token(const preproc_token *token, FILE *stream)
{
  switch (token_spellings[token->kind].category) {
  case TC_OPERATOR:
    if (token->flags & TOK_NAMED_OPERATOR)
      fputs(token->value.ident.node->text, stream);
    else
      fputs(cpp_kind_name(token->kind, token->flags), stream);
    break;
  case TC_IDENTIFIER: {
    const ident_node *node = token->value.ident.node;
    unsigned char buffer[64];
    const unsigned char *text = reinterpret_cast<const unsigned char *>(node->text);
    for (uint32_t i = 0; i < node->length;) {
      if (text[i] >= 0x80) {
        i += utf8_to_ucn(buffer, text + i);
        fwrite(buffer, 1, 10, stream);
      } else {
        putc(text[i++], stream);
      }
    }
    break;
  }
  case TC_LITERAL:
    if (token->kind == TK_HEADER_NAME)
      putc('"', stream);
    fwrite(token->value.str.text, 1, token->value.str.length, stream);
    if (token->kind == TK_HEADER_NAME)
      putc('"', stream);
    break;
  default:
    break;
  }
}

bool _cpp_tokens_equal(const preproc_token *a, const preproc_token *b)
{
  if (a->kind != b->kind || a->flags != b->flags)
    return false;
  switch (token_spellings[a->kind].category) {
  case TC_OPERATOR:
    return a->kind != TK_PASTE || a->value.paste_index == b->value.paste_index;
  case TC_IDENTIFIER:
    return a->value.ident.node == b->value.ident.node &&
           a->value.ident.spelling == b->value.ident.spelling;
  case TC_LITERAL:
    return a->value.str.length == b->value.str.length &&
           memcmp(a->value.str.text, b->value.str.text, a->value.str.length) == 0;
  default:
    if (a->kind == TK_MACRO_ARG)
      return a->value.arg.number == b->value.arg.number &&
             a->value.arg.spelling == b->value.arg.spelling;
    return true;
  }
}

bool number_is_identifier(preprocessor_reader *reader, const unsigned char *text)
{
  for (; *text; text++)
    if (!c_isidnum(*text) && !(*text == '$' && reader->options.dollars_in_identifiers))
      return false;
  return true;
}

static bool is_plain_string_kind(int kind)
{
  return kind >= TK_STRING && kind <= TK_UTF8STRING;
}

static bool is_plain_char_kind(int kind)
{
  return kind >= TK_CHAR && kind <= TK_UTF8CHAR;
}

static bool is_user_defined_literal_kind(int kind)
{
  return kind >= TK_CHAR_USERDEF && kind <= TK_UTF8STRING_USERDEF;
}

// The first character of a literal's spelling, or 0 for a token that is
// not printed from its text alone.
static unsigned char literal_first_char(const preproc_token *token, int kind)
{
  if (token_spellings[kind].category != TC_LITERAL || kind == TK_COMMENT ||
      kind == TK_HEADER_NAME)
    return 0;
  return token->value.str.text[0];
}

// A literal spelled from an identifier character on: a number that starts
// with a digit, or a literal with an encoding prefix or R.
static bool literal_starts_with_identifier_char(const preproc_token *token, int kind)
{
  return c_isidnum(literal_first_char(token, kind));
}

// Whether NODE is spelled as an encoding prefix or R, which a quote after
// it joins into one literal.
static bool is_literal_prefix(const ident_node *node)
{
  static const char *const prefixes[] = {"L", "u", "U", "u8", "R", "LR", "uR", "UR", "u8R"};
  for (const char *prefix : prefixes)
    if (strcmp(node->text, prefix) == 0)
      return true;
  return false;
}

static bool needs_space_after_name(const preproc_token *first, const preproc_token *second,
                                   int kind2)
{
  if (kind2 == TK_NAME || kind2 == TK_CHAR || kind2 == TK_STRING ||
      literal_starts_with_identifier_char(second, kind2))
    return true;
  return (kind2 == TK_CHAR_USERDEF || kind2 == TK_STRING_USERDEF) && first->kind == TK_NAME &&
         is_literal_prefix(first->value.ident.node);
}

// Whether "<:" before ":" would read as "<" and "::".
static bool splits_open_square_digraph(const preprocessor_reader *reader)
{
  const cpp_reader_options *o = &reader->options;
  return o->cplusplus_mode && o->language != DIALECT_KAVXX98 && o->language != DIALECT_CXX98;
}

// Whether a name or number after a literal of C++ would become (or extend)
// its user-defined suffix.
static bool extends_literal_suffix(int kind1, const preproc_token *second, int kind2)
{
  if (kind2 == TK_NAME)
    return true;
  unsigned char c = literal_first_char(second, kind2);
  return is_user_defined_literal_kind(kind1) ? c_isidnum(c) : char_has_class(c, CC_IDSTART);
}

bool cpp_needs_space_between(preprocessor_reader *reader, const preproc_token *first,
                             const preproc_token *second)
{
  int kind1 = (first->flags & TOK_NAMED_OPERATOR) ? TK_NAME : first->kind;
  int kind2 = (second->flags & TOK_NAMED_OPERATOR) ? TK_NAME : second->kind;
  int c = -1;
  if (second->flags & TOK_DIGRAPH)
    c = cpp_digraph_spelling(kind2)[0];
  else if (token_spellings[kind2].category == TC_OPERATOR)
    c = token_spellings[kind2].text[0];

  if (kind1 <= TK_LSHIFT && c == '=')
    return true;
  switch (kind1) {
  case TK_GREATER: case TK_LESS_EQ: return c == '>';
  case TK_LESS: return c == '<' || c == '%' || c == ':';
  case TK_PLUS: return c == '+';
  case TK_MINUS: return c == '-' || c == '>';
  case TK_DIV: return c == '/' || c == '*';
  case TK_MOD: case TK_COLON: return c == ':' || c == '>';
  case TK_AND: return c == '&';
  case TK_OR: return c == '|';
  case TK_HASH: return c == '#' || c == '%';
  case TK_DEREF: return c == '*';
  case TK_DOT:
    return c == '.' || c == '%' || kind2 == TK_NUMBER ||
           (c == '*' && reader->options.cplusplus_mode);
  case TK_OPEN_SQUARE:
    return (first->flags & TOK_DIGRAPH) && kind2 == TK_COLON &&
           !(second->flags & TOK_DIGRAPH) && splits_open_square_digraph(reader);
  case TK_NAME: case TK_PRAGMA: return needs_space_after_name(first, second, kind2);
  case TK_NUMBER:
    return kind2 == TK_NUMBER || kind2 == TK_NAME || kind2 == TK_CHAR || c == '.' || c == '+' ||
           c == '-' || literal_starts_with_identifier_char(second, kind2) ||
           (kind2 == TK_CHAR_USERDEF && reader->options.digit_separator_quotes);
  case TK_OTHER: {
    const unsigned char *text = first->value.str.text;
    if (text[0] == '\\' && kind2 == TK_NAME)
      return true;
    return reader->options.objc_mode && text[0] == '@' &&
           (kind2 == TK_NAME || kind2 == TK_STRING);
  }
  default:
    if ((is_plain_string_kind(kind1) || is_plain_char_kind(kind1) ||
         is_user_defined_literal_kind(kind1)) &&
        reader->options.user_defined_literals)
      return extends_literal_suffix(kind1, second, kind2);
    return false;
  }
}

// The macro-expanded rest of a directive's line as text.
char *cpp_rest_of_line_text(preprocessor_reader *reader, const char *directive_name)
{
  uint64_t capacity = directive_name ? strlen(directive_name) + 120 : 120;
  char *text = static_cast<char *>(checked_malloc(capacity));
  uint64_t used = 0;
  if (directive_name)
    used = uint64_t(snprintf(text, capacity, "#%s ", directive_name));
  bool first = true;
  for (;;) {
    const preproc_token *token = cpp_get_token(reader);
    if (token->kind == TK_EOF)
      break;
    uint64_t needed = used + cpp_spelling_bound(token) + 2;
    if (needed > capacity)
      text = _cpp_grow_array(text, &capacity, capacity * 2 > needed ? capacity * 2 : needed);
    if (!first && (token->flags & TOK_SPACE_BEFORE))
      text[used++] = ' ';
    unsigned char *out = reinterpret_cast<unsigned char *>(text + used);
    used = uint64_t(reinterpret_cast<char *>(cpp_write_token_text(reader, token, out, false)) - text);
    first = false;
  }
  text[used] = '\0';
  return text;
}

void cpp_print_rest_of_line(preprocessor_reader *reader, FILE *stream)
{
  bool first = true;
  for (;;) {
    const preproc_token *token = cpp_get_token(reader);
    if (token->kind == TK_EOF)
      break;
    if (!first && (token->flags & TOK_SPACE_BEFORE))
      putc(' ', stream);
    cpp_print_token(token, stream);
    first = false;
  }
  putc('\n', stream);
}
