#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The PNG object's binding to zlib: inflate only.
namespace pagelume::image::zlibpas {

// The version string the decoder announces to zlib at initialisation. zlib
// checks only its major number, so any 1.x library accepts it.
inline constexpr const char* kRequestedVersion = "1.2.3";

// The description of a negative zlib result, as error messages show it.
std::string describeResult(int result);

// One zlib inflate stream. Errors (negative results) are returned, not
// thrown, so the caller decides which exception they become.
class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // The result of inflateInit_ (Z_OK on success).
    int initResult() const { return initResult_; }

    void setInput(const uint8_t* data, size_t size);
    size_t availableInput() const;

    // Inflates into [out, out + size). Returns zlib's result and stores the
    // number of bytes written in *produced.
    int inflate(uint8_t* out, size_t size, size_t* produced);

private:
    struct State;
    State* state_;
    int initResult_;
};

}  // namespace pagelume::image::zlibpas
