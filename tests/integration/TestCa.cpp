#include "TestCa.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <sstream>

namespace {

// The registry part of the machine's "Root" store itself: the system store
// of that name is a collection from which Wine deletes nothing for good.
HCERTSTORE OpenMachineRoot() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                       "Root");
}

}  // namespace

bool CTestCa::Load(const std::string& pemPath) {
  std::ifstream in(pemPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string pem = text.str();
  DWORD length = 0;
  if (!CryptStringToBinaryA(pem.c_str(), (DWORD)pem.size(), CRYPT_STRING_BASE64HEADER, nullptr,
                            &length, nullptr, nullptr))
    return false;
  m_der.resize(length);
  if (!CryptStringToBinaryA(pem.c_str(), (DWORD)pem.size(), CRYPT_STRING_BASE64HEADER,
                            m_der.data(), &length, nullptr, nullptr))
    return false;
  m_der.resize(length);
  return true;
}

bool CTestCa::Install(const std::string& pemPath) {
  if (!Load(pemPath)) return false;
  HCERTSTORE store = OpenMachineRoot();
  if (!store) return false;
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, m_der.data(),
                                                (DWORD)m_der.size(),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added != FALSE;
}

void CTestCa::Remove() {
  if (m_der.empty()) return;
  HCERTSTORE store = OpenMachineRoot();
  if (!store) return;
  PCCERT_CONTEXT wanted =
      CertCreateCertificateContext(X509_ASN_ENCODING, m_der.data(), (DWORD)m_der.size());
  PCCERT_CONTEXT found = wanted ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                              CERT_FIND_EXISTING, wanted, nullptr)
                                : nullptr;
  if (found) CertDeleteCertificateFromStore(found);  // frees `found`
  if (wanted) CertFreeCertificateContext(wanted);
  CertCloseStore(store, 0);
  m_der.clear();
}

#else

bool CTestCa::Load(const std::string&) { return true; }

bool CTestCa::Install(const std::string& pemPath) {
  return setenv("VELMORA_TEST_CA", pemPath.c_str(), 1) == 0;
}

void CTestCa::Remove() { unsetenv("VELMORA_TEST_CA"); }

#endif
