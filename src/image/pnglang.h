#pragma once

// The PNG image object's messages. They are part of the program (error boxes
// show them verbatim), so they stay exactly as they are, in UTF-8.
namespace pagelume::image::pnglang {

extern const char* const EPNGInvalidFileHeaderText;
extern const char* const EPngUnexpectedEndText;
extern const char* const EPNGIHDRNotFirstText;
extern const char* const EPNGUnknownCriticalChunkText;
extern const char* const EPNGNoImageDataText;
extern const char* const EPngInvalidCRCText;
extern const char* const EPngInvalidIHDRText;
extern const char* const EPNGSizeExceedsText;
extern const char* const EPNGUnknownCompressionText;
extern const char* const EPNGUnknownInterlaceText;
extern const char* const EPNGInvalidPaletteText;
extern const char* const EPNGMissingMultipleIDATText;
extern const char* const EPNGZLIBErrorText;  // followed by the zlib description
extern const char* const EPNGOutMemoryText;
extern const char* const EPNGHeaderNotPresentText;
extern const char* const EPngErrorPaletteIndexText;
extern const char* const EPngErrorAssignText;
extern const char* const EPngErrorExistingCriticalText;
extern const char* const EPngErrorNoHeaderText;
extern const char* const EPNGInvalidNewSizeText;

// zlib's result codes as the decompression message describes them.
extern const char* const ZLibIncompatibleVersionText;  // -6
extern const char* const ZLibBufferErrorText;          // -5
extern const char* const ZLibInsufficientMemoryText;   // -4
extern const char* const ZLibDataErrorText;            // -3
extern const char* const ZLibStreamErrorText;          // -2
extern const char* const ZLibFileErrorText;            // -1

}  // namespace pagelume::image::pnglang
