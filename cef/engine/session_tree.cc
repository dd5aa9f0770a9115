#include "cef/engine/session_tree.h"

namespace cef_engine {

void SessionTree::SetRoot(const std::string& session, const std::string& target_id) {
  nodes_.clear();
  root_ = session;
  if (!session.empty()) nodes_[session] = {target_id, std::string()};
}

bool SessionTree::Add(const std::string& session, const std::string& target_id,
                      const std::string& parent) {
  if (session.empty() || Contains(session) || !Contains(parent)) return false;
  nodes_[session] = {target_id, parent};
  return true;
}

std::vector<std::string> SessionTree::Remove(const std::string& session) {
  std::vector<std::string> removed;
  if (IsRoot(session) || !Contains(session)) return removed;
  removed.push_back(session);
  // Breadth first: each pass adds the children of what was removed so far.
  for (size_t next = 0; next < removed.size(); ++next) {
    for (const auto& [id, node] : nodes_) {
      if (node.parent == removed[next]) removed.push_back(id);
    }
  }
  for (const std::string& id : removed) nodes_.erase(id);
  return removed;
}

std::vector<std::string> SessionTree::All() const {
  std::vector<std::string> all;
  if (root_.empty()) return all;
  all.push_back(root_);
  for (const auto& [id, node] : nodes_) {
    if (id != root_) all.push_back(id);
  }
  return all;
}

std::string SessionTree::TargetOf(const std::string& session) const {
  auto it = nodes_.find(session);
  return it == nodes_.end() ? std::string() : it->second.target_id;
}

std::string SessionTree::ParentOf(const std::string& session) const {
  auto it = nodes_.find(session);
  return it == nodes_.end() ? std::string() : it->second.parent;
}

}  // namespace cef_engine
