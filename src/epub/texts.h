#pragma once

// The program's fixed texts, in one place.
namespace pagelume::texts {

inline constexpr const char* kProgramTitle = "Pagelume 3.3";
inline constexpr const char* kAppTitle = "Pagelume";  // caption of error boxes

// Written into every package document.
inline constexpr const char* kBookSource = "Pagelume 3.3";
inline constexpr const char* kBookRights =
    "All rights in the pages of this book remain with their author.";

// Conversion run.
inline constexpr const char* kNoteCaption = "Note!";
inline constexpr const char* kSavePathEmpty = "Please set the saving path!";
inline constexpr const char* kTitleEmpty = "Please set the book title!";
inline constexpr const char* kAuthorEmpty = "Please set the author name!";
inline constexpr const char* kTitleNotFileName = "The book title cannot be used as a file name!";
inline constexpr const char* kSavePathInStaging =
    "Please choose a saving path outside the epubfiles folder!";
inline constexpr const char* kConversionBusy =
    "Another conversion is in progress. Please wait until it has finished.";
inline constexpr const char* kOverwriteQuestion = "The file is existing. Overwrite?";
inline constexpr const char* kOverwriteCaption = "Information";
inline constexpr const char* kBuilt = "Successed to build: ";
inline constexpr const char* kBuiltCaption = "Congratulation";
inline constexpr const char* kBuildFailed = "Failed to build: ";
inline constexpr const char* kCannotRemove = "Cannot remove the folder ";
// + path + kNotInstalledEnd
inline constexpr const char* kNotInstalled = "Pagelume is not installed completely: ";
inline constexpr const char* kNotInstalledEnd = " is missing or damaged.";
// "Page N" or kCoverNotAnImage, + kNotAnImage + path (strict books only).
inline constexpr const char* kNotAnImage = " is not a PNG, JPEG or GIF image: ";
inline constexpr const char* kCoverNotAnImage = "The cover";
// "Page N" or "Cover", + kSizeUnreadable + path (fixed-layout books only).
inline constexpr const char* kSizeUnreadable = ": the size of its image cannot be read: ";
inline constexpr const char* kNamedLikeAPage =
    ": an image whose name ends in .xhtml cannot be a page of a fixed-layout book: ";

}  // namespace pagelume::texts
