// Assertions: the #assert and #unassert directives, their client texts, and
// the predicate test of #if. A predicate is the identifier "#name"; its
// answers are a list of token sequences.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"

#include <cstdlib>
#include <cstring>

struct assertion_answer {
  assertion_answer *next;
  uint32_t count;
  preproc_token tokens[1]; // count of them
};

static bool answers_equal(const assertion_answer *a, const assertion_answer *b)
{
  if (a->count != b->count)
    return false;
  for (uint32_t i = 0; i < a->count; i++)
    if (!_cpp_tokens_equal(&a->tokens[i], &b->tokens[i]))
      return false;
  return true;
}

static const preproc_token *next_token(preprocessor_reader *reader)
{
  const preproc_token *token;
  do
    token = cpp_next_token(reader);
  while (token->kind == TK_PADDING);
  return token;
}

// The parenthesised answer after "(": null after an error.
static assertion_answer *read_answer(preprocessor_reader *reader)
{
  uint32_t allocated = 8, count = 0;
  preproc_token *tokens = checked_new_array<preproc_token>(allocated);
  for (;;) {
    const preproc_token *token = next_token(reader);
    if (token->kind == TK_CLOSE_PAREN)
      break;
    if (token->kind == TK_EOF) {
      diag_error(reader, DL_ERROR, "missing ')' to complete answer");
      free(tokens);
      return nullptr;
    }
    if (count == allocated)
      tokens = _cpp_grow_array(tokens, &allocated, allocated * 2);
    tokens[count] = *token;
    // White space before the first token is not part of the answer.
    if (count == 0)
      tokens[0].flags &= uint16_t(~TOK_SPACE_BEFORE);
    count++;
  }
  if (count == 0) {
    diag_error(reader, DL_ERROR, "predicate's answer is empty");
    free(tokens);
    return nullptr;
  }
  uint64_t size = sizeof(assertion_answer) + uint64_t(count - 1) * sizeof(preproc_token);
  assertion_answer *answer =
      reinterpret_cast<assertion_answer *>(_cpp_pool_alloc_aligned(reader, size));
  answer->next = nullptr;
  answer->count = count;
  memcpy(answer->tokens, tokens, count * sizeof(preproc_token));
  free(tokens);
  return answer;
}

// The predicate node and its answer (null when none was given); false after
// an error. The answer is optional for #unassert and in #if.
static bool read_assertion(preprocessor_reader *reader, int kind, ident_node **predicate,
                           assertion_answer **answer)
{
  *answer = nullptr;
  reader->state.prevent_expansion++;
  bool ok = false;
  const preproc_token *name = next_token(reader);
  if (name->kind == TK_EOF) {
    diag_error(reader, DL_ERROR, "assertion without predicate");
  } else if (name->kind != TK_NAME) {
    diag_error_at_location(reader, DL_ERROR, name->location, "predicate must be an identifier");
  } else {
    const ident_node *node = name->value.ident.node;
    char *text = static_cast<char *>(checked_malloc(node->length + 2));
    text[0] = '#';
    memcpy(text + 1, node->text, node->length + 1);
    *predicate = cpp_intern(reader, text, node->length + 1);
    free(text);
    const preproc_token *paren = next_token(reader);
    if (paren->kind == TK_OPEN_PAREN) {
      *answer = read_answer(reader);
      ok = *answer != nullptr;
    } else if ((kind == ASSERTION_UNASSERT && paren->kind == TK_EOF) || kind == ASSERTION_IF) {
      _cpp_backup_expanded(reader, paren);
      ok = true;
    } else {
      diag_error_at_location(reader, DL_ERROR, name->location, "missing '(' after predicate");
    }
  }
  reader->state.prevent_expansion--;
  return ok;
}

static assertion_answer **find_answer(ident_node *predicate, const assertion_answer *answer)
{
  assertion_answer **link = &predicate->value.answers;
  while (*link && !answers_equal(*link, answer))
    link = &(*link)->next;
  return link;
}

void _cpp_do_assertion(preprocessor_reader *reader, bool assert)
{
  ident_node *predicate;
  assertion_answer *answer;
  if (!read_assertion(reader, assert ? ASSERTION_ASSERT : ASSERTION_UNASSERT, &predicate,
                      &answer))
    return;
  if (assert) {
    if (*find_answer(predicate, answer)) {
      diag_warning(reader, DR_NONE, "\"%s\" re-asserted", predicate->text + 1);
    } else {
      answer->next = predicate->value.answers;
      predicate->value.answers = answer;
    }
  } else if (answer == nullptr) {
    predicate->value.answers = nullptr;
  } else {
    assertion_answer **link = find_answer(predicate, answer);
    if (*link)
      *link = (*link)->next;
  }
  _cpp_check_eol(reader);
}

bool assertion_holds(preprocessor_reader *reader, bool *result)
{
  ident_node *predicate;
  assertion_answer *answer;
  *result = false;
  if (!read_assertion(reader, ASSERTION_IF, &predicate, &answer))
    return true;
  if (predicate->kind == IK_PLAIN)
    *result = answer ? *find_answer(predicate, answer) != nullptr
                     : predicate->value.answers != nullptr;
  return false;
}
