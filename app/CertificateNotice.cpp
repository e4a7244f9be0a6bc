#include "app/CertificateNotice.h"

#include "app/AppLog.h"

void TellCertificateRejected(platform::IDesktop& desktop, const CertificateRejection& rejection) {
  WriteLog(GetLogPath(), "[%s]:服务器证书无效，已停止连接：%s（%s）\r\n", FormatNow().c_str(),
           rejection.host.c_str(), rejection.reason.c_str());
  desktop.ShowMessage(CertificateFailureMessage(rejection), "提示", platform::MessageIcon::Stop,
                      false);
}
