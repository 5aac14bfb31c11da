// Assertions: the #assert and #unassert directives, their client texts, and
// the predicate test of #if. A predicate is the identifier "#name"; its
// answers are a list of token sequences.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"

#include <cstdlib>
#include <cstring>

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

// The predicate node named by NAME: "#" and the name.
static ident_node *predicate_node(preprocessor_reader *reader, const ident_node *name)
{
  char *text = static_cast<char *>(checked_malloc(name->length + 2));
  text[0] = '#';
  memcpy(text + 1, name->text, name->length + 1);
  ident_node *predicate = cpp_intern(reader, text, name->length + 1);
  free(text);
  return predicate;
}

ident_node *read_assertion(preprocessor_reader *reader, directive_index index,
                           assertion_answer **answer)
{
  *answer = nullptr;
  reader->state.prevent_expansion++;
  ident_node *predicate = nullptr;
  const preproc_token *name = next_token(reader);
  if (name->kind == TK_EOF) {
    diag_error(reader, DL_ERROR, "assertion without predicate");
  } else if (name->kind != TK_NAME) {
    diag_error_at_location(reader, DL_ERROR, name->location, "predicate must be an identifier");
  } else {
    predicate = predicate_node(reader, name->value.ident.node);
    const preproc_token *paren = next_token(reader);
    if (paren->kind == TK_OPEN_PAREN) {
      *answer = read_answer(reader);
      if (*answer == nullptr)
        predicate = nullptr;
    } else if ((index == D_UNASSERT && paren->kind == TK_EOF) || index == D_IF) {
      _cpp_backup_expanded(reader, paren);
    } else {
      diag_error_at_location(reader, DL_ERROR, name->location, "missing '(' after predicate");
      predicate = nullptr;
    }
  }
  reader->state.prevent_expansion--;
  return predicate;
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
  assertion_answer *answer;
  ident_node *predicate = read_assertion(reader, assert ? D_ASSERT : D_UNASSERT, &answer);
  if (predicate == nullptr)
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
  assertion_answer *answer;
  *result = false;
  ident_node *predicate = read_assertion(reader, D_IF, &answer);
  if (predicate == nullptr)
    return true;
  if (predicate->kind == IK_PLAIN)
    *result = answer ? *find_answer(predicate, answer) != nullptr
                     : predicate->value.answers != nullptr;
  return false;
}
