#pragma once
// The program's exception classes. Each carries only its message; the codec
// layer throws them and the command that ran the work catches and shows them.

#include <stdexcept>
#include <string>

namespace lumara {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

#define LUMARA_DECLARE_EXCEPTION(Name, Base)                                                      \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        explicit Name(const std::string& message) : Base(message) {}                              \
    };

LUMARA_DECLARE_EXCEPTION(EZeradudaError, Exception)
LUMARA_DECLARE_EXCEPTION(ETiffError, Exception)
LUMARA_DECLARE_EXCEPTION(EPNGError, Exception)
LUMARA_DECLARE_EXCEPTION(EGbmError, Exception)
LUMARA_DECLARE_EXCEPTION(ETgaError, Exception)
LUMARA_DECLARE_EXCEPTION(EColorConversionError, Exception)
LUMARA_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
LUMARA_DECLARE_EXCEPTION(EJpegError, Exception)
LUMARA_DECLARE_EXCEPTION(EOutOfMemory, Exception)
// Stream failures: reading past the end, writing to a full disk, a file that cannot be opened.
LUMARA_DECLARE_EXCEPTION(EStreamError, Exception)
LUMARA_DECLARE_EXCEPTION(EReadError, EStreamError)
LUMARA_DECLARE_EXCEPTION(EWriteError, EStreamError)
LUMARA_DECLARE_EXCEPTION(EFOpenError, EStreamError)
LUMARA_DECLARE_EXCEPTION(EFCreateError, EStreamError)

#undef LUMARA_DECLARE_EXCEPTION

} // namespace lumara
