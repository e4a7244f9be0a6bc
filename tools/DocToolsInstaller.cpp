#include "tools/DocToolsInstaller.h"

#include <system_error>
#include <thread>

CDocToolsInstaller::CDocToolsInstaller() : m_state(std::make_shared<State>()) {}

bool CDocToolsInstaller::Start(const ToolContext& context) {
  {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (m_state->running) return false;
    m_state->running = true;
  }
  try {
    std::thread(Install, context, m_state).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->running = false;
    return false;
  }
  return true;
}

bool CDocToolsInstaller::IsRunning() const {
  std::lock_guard<std::mutex> guard(m_state->lock);
  return m_state->running;
}

void CDocToolsInstaller::Wait() const {
  std::unique_lock<std::mutex> guard(m_state->lock);
  m_state->ended.wait(guard, [this] { return !m_state->running; });
}

void CDocToolsInstaller::Install(ToolContext context, std::shared_ptr<State> state) {
  if (context.showStatus) context.showStatus(true);
  const std::string installer = context.tempDir + "ToPack.exe";
  if (FetchSignedToolFile(context, "ToPack.exe", installer))
    context.desktop->ShellOpenHidden(installer);
  if (context.showStatus) context.showStatus(false);
  std::lock_guard<std::mutex> guard(state->lock);
  state->running = false;
  state->ended.notify_all();
}
