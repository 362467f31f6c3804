// The exception class offered to hosts. No operation of the library throws it.
#ifndef COMPENSATION_EXCEPTION_H
#define COMPENSATION_EXCEPTION_H

#include <string>

#include "compensation/export.h"

class COMPENSATION_EXPORT CQuorException {
  public:
    // Keeps the first 255 characters of the message.
    explicit CQuorException(const std::string& strMessage);
    // Looks the text up in the library's resource table; an unknown id gives an empty text.
    explicit CQuorException(unsigned int nIDResource);
    CQuorException(const CQuorException& other);
    CQuorException& operator=(const CQuorException& other);
    virtual ~CQuorException();

    const char* ErrorString() const;

  private:
    char m_szMessage[256];
};

#endif  // COMPENSATION_EXCEPTION_H
