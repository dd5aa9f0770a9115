// The DevTools sessions of one browser: the page session at the root and,
// below it, the sessions of out-of-process iframes, each under the session
// of the document that embeds the iframe. Every session of the tree
// belongs to the same browser; a session's target is the frame it hosts
// (an iframe target's id is the id of the frame it renders).
#ifndef CEF_ENGINE_SESSION_TREE_H_
#define CEF_ENGINE_SESSION_TREE_H_

#include <map>
#include <string>
#include <vector>

namespace cef_engine {

class SessionTree {
 public:
  // Starts the tree at the page session (forgetting any earlier tree).
  void SetRoot(const std::string& session, const std::string& target_id);

  // Adds session (hosting target_id) below parent. False, and nothing
  // changes, when parent is not in the tree or session already is (the
  // engine echoes attachments the browser asked for itself).
  bool Add(const std::string& session, const std::string& target_id, const std::string& parent);

  // Removes session and every session below it; returns the removed ones,
  // session first, parents before their children. The root cannot be
  // removed this way (nothing happens, nothing is returned).
  std::vector<std::string> Remove(const std::string& session);

  // Every session, the root first; empty before SetRoot.
  std::vector<std::string> All() const;

  bool Contains(const std::string& session) const { return nodes_.count(session) != 0; }
  bool IsRoot(const std::string& session) const { return !root_.empty() && session == root_; }
  const std::string& root() const { return root_; }
  // The target / the parent of a session; empty when unknown (or the root's
  // parent).
  std::string TargetOf(const std::string& session) const;
  std::string ParentOf(const std::string& session) const;

 private:
  struct Node {
    std::string target_id;
    std::string parent;
  };
  std::string root_;
  std::map<std::string, Node> nodes_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_SESSION_TREE_H_
