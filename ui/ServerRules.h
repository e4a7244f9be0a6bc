#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/SharedState.h"
#include "platform/Desktop.h"

class CServerAccount;
class CSettingsStore;

// The server list's buttons: "删除" needs a selected row, "清空" any row.
struct ServerListButtons {
  bool deleteEnabled = false;
  bool clearEnabled = false;
};
ServerListButtons ServerListButtonState(int rows, int selectedRows);

// "删除" and "清空": after the user's Yes, the accounts of the rows leave the
// settings store, which is saved at once. True when they were removed (the
// dialog then deletes the rows); the accounts are freed by then.
bool DeleteServers(CSettingsStore& settings, platform::IDesktop& desktop,
                   const std::vector<const CServerAccount*>& selected);
bool ClearServers(CSettingsStore& settings, platform::IDesktop& desktop,
                  const std::vector<const CServerAccount*>& rows);

// Whether a CDN server answers: a GET of "http://<server>/command/check.do"
// through the system's internet library that ends with status 200.
using CdnCheck = std::function<bool(const std::string& url)>;
bool CheckCdnServerUrl(const std::string& url);

// The CDN server typed into the CDN dialog, blanks at both ends ignored. It
// becomes the current CDN server only when it is a usable address and
// answers; otherwise the user is told and the current one stays. True when
// stored.
bool AcceptCdnServer(const std::string& text, SharedState& state, platform::IDesktop& desktop,
                     const CdnCheck& check = &CheckCdnServerUrl);
