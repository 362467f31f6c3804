#include <cstring>
#include <string>

#include "compensation/exception.h"
#include "platform/platform.h"

namespace {

void StoreMessage(char (&buffer)[256], const std::string& text) {
    const std::size_t n = text.size() < 255 ? text.size() : 255;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

CQuorException::CQuorException(const std::string& strMessage) {
    StoreMessage(m_szMessage, strMessage);
}

CQuorException::CQuorException(unsigned int nIDResource) {
    StoreMessage(m_szMessage, compensation::platform::ResourceText(nIDResource));
}

CQuorException::CQuorException(const CQuorException& other) {
    std::memcpy(m_szMessage, other.m_szMessage, sizeof(m_szMessage));
}

CQuorException& CQuorException::operator=(const CQuorException& other) {
    std::memcpy(m_szMessage, other.m_szMessage, sizeof(m_szMessage));
    return *this;
}

CQuorException::~CQuorException() = default;

const char* CQuorException::ErrorString() const {
    return m_szMessage;
}
