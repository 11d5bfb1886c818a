#include "MruLists.h"

#include <algorithm>

namespace {

// Moves the element at `from` to the front, keeping the order of the others.
template <typename List>
void MoveToFront(List& list, size_t from) {
  std::rotate(list.begin(), list.begin() + from, list.begin() + from + 1);
}

template <typename List, typename Value>
void InsertAtFront(List& list, const Value& value) {
  std::move_backward(list.begin(), list.end() - 1, list.end());
  list[0] = value;
}

}  // namespace

bool MruAddFile(FileMruList& list, const std::string& path) {
  auto it = std::find(list.begin(), list.end(), path);
  if (it == list.begin()) return false;
  if (it != list.end())
    MoveToFront(list, it - list.begin());
  else
    InsertAtFront(list, path);
  return true;
}

bool MruRemoveFile(FileMruList& list, const std::string& path) {
  auto it = std::find(list.begin(), list.end(), path);
  if (it != list.end()) {
    std::move(it + 1, list.end(), it);
    list.back().clear();
  }
  return true;
}

bool MruAddServer(ServerMruList& list, const ServerMruEntry& entry) {
  auto it = std::find_if(list.begin(), list.end(), [&](const ServerMruEntry& e) {
    return e.server == entry.server && e.user == entry.user;
  });
  if (it == list.begin()) return false;
  if (it != list.end())
    MoveToFront(list, it - list.begin());
  else
    InsertAtFront(list, entry);
  return true;
}
