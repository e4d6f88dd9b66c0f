// Lists of names closed by two zeros: each name with its zero, and one more
// after the last (two zeros for none). The platform's dependency lists are
// such, and so is the list of the dependents that a stop stopped. Every
// walk of one goes by a loop, since a list's length is its writer's.
#ifndef MULTI_STRING_H
#define MULTI_STRING_H

#include <stddef.h>

namespace service_control {

// The zero that ends the name at name, or limit (where not null) if none
// comes before it.
template <typename Char>
const Char *NameEnd(const Char *name, const Char *limit = NULL) {
  while (name != limit && *name != 0) ++name;
  return name;
}

// The list's closing zero.
template <typename Char>
const Char *ListEnd(const Char *list) {
  while (*list != 0) list = NameEnd(list) + 1;
  return list;
}

// The name before end (a name of the list, or its closing zero), which must
// not be the list's start.
template <typename Char>
const Char *NameBefore(const Char *list, const Char *end) {
  const Char *name = end - 1;
  while (name != list && name[-1] != 0) --name;
  return name;
}

// Calls visit(name) for each name of the list, first to last.
template <typename Char, typename Visit>
void VisitNames(const Char *list, Visit visit) {
  for (const Char *name = list; *name != 0; name = NameEnd(name) + 1) visit(name);
}

// Makes list the empty one: two zeros.
template <typename Char>
void ClearList(Char *list) {
  list[0] = list[1] = 0;
}

// Adds a name of length characters to a list of used characters (its
// closing zero not counted): the list then takes length + 2 more beyond
// used, of which the closing zero is the last. Returns the characters used.
template <typename Char>
size_t AppendName(Char *list, size_t used, const Char *name, size_t length) {
  for (size_t at = 0; at < length; ++at) list[used + at] = name[at];
  list[used + length] = 0;
  list[used + length + 1] = 0;
  return used + length + 1;
}

}  // namespace service_control

#endif
