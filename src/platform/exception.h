#pragma once

#include <stdexcept>
#include <string>

namespace pagelume {

// Every failure of the program is an exception carrying a UTF-8 message.
// The class name travels with it so tools and error boxes can show it.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    virtual const char* className() const noexcept { return "Exception"; }
};

#define PAGELUME_DEFINE_EXCEPTION(Name, Base)                             \
    class Name : public Base {                                            \
    public:                                                               \
        using Base::Base;                                                 \
        const char* className() const noexcept override { return #Name; } \
    }

// A file-system call failed; the message is the system's own text.
PAGELUME_DEFINE_EXCEPTION(EInOutError, Exception);

}  // namespace pagelume
