#pragma once
#include "net/PlatformApi.h"
#include "platform/Desktop.h"

// Tells the user that a server's certificate was refused (nothing was sent
// to it) and writes the system's finding to the log.
void TellCertificateRejected(platform::IDesktop& desktop, const CertificateRejection& rejection);
