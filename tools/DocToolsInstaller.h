#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>

#include "tools/ToolContext.h"

// The document tools' installer runs on a worker thread, one at a time: it
// shows the status window, fetches ToPack.exe into the temporary directory,
// starts it hidden (not waited for) and hides the window again.
class CDocToolsInstaller {
 public:
  CDocToolsInstaller();
  // False (and nothing done) while an installation runs.
  bool Start(const ToolContext& context);
  bool IsRunning() const;
  // Blocks until no installation runs.
  void Wait() const;

 private:
  struct State {
    mutable std::mutex lock;
    mutable std::condition_variable ended;
    bool running = false;
  };
  static void Install(ToolContext context, std::shared_ptr<State> state);

  // Shared with the worker, which may outlive this object at program end.
  std::shared_ptr<State> m_state;
};
