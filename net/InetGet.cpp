#include "net/Url.h"
#include "net/WebClient.h"
#include "net/WebClientExchange.h"
#include "platform/InetFetch.h"

bool CWebClient::InetGet(const std::string& url, std::string& reply) {
  UrlParts parts;
  if (!CrackUrl(url, parts)) return false;
  m_strHost = parts.strHost;
  m_nPort = parts.nPort;
  platform::InetRequest request;
  request.bSecure = parts.bSecure;
  request.strHost = parts.strHost;
  request.nPort = (uint16_t)parts.nPort;
  request.strObject = parts.strObject;
  request.strSid = webclient::WithoutControlBytes(m_strSid);
  request.nConnectTimeout = m_nConnectTimeout;
  request.nSendTimeout = m_nSendTimeout;
  request.nRecvTimeout = m_nRecvTimeout;
  platform::InetResult result;
  bool fetched = platform::InetFetch(request, reply, result, WEB_MAX_TEXT_REPLY);
  if (result.bSent) {
    m_strSetCookie = result.strSetCookie;
    m_strCookie = result.strCookie;
  }
  return fetched && result.nStatus == 200;
}
