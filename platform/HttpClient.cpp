// STUB: replaced by the HTTP client work.
#include "platform/HttpClient.h"

THttpClient::THttpClient() {}
THttpClient::~THttpClient() {}
void THttpClient::Get(const std::string&) {}
void THttpClient::Disconnect() {}
void THttpClient::SetHeaderValue(const std::string&, const std::string&) {}
