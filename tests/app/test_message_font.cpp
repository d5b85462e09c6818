// The decoder's messages are Chinese texts, shown in the error box: the
// box's font (with the fallbacks the system gives it) must draw them.
#include <gtest/gtest.h>

#include <QGlyphRun>
#include <QMessageBox>
#include <QTextLayout>

#include "image/pnglang.h"

namespace pagelume::app {
namespace {

namespace L = image::pnglang;

// How many glyphs of text the font (and the fallbacks the system finds for
// it) has to draw as the missing glyph. Line breaks are not drawn.
int missingGlyphs(QString text, const QFont& font) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int missing = 0;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (quint32 glyph : run.glyphIndexes())
            missing += glyph == 0;
    }
    return missing;
}

TEST(MessageFont, TheErrorBoxCanDrawEveryMessageOfTheDecoder) {
    QMessageBox box(QMessageBox::Critical, "Pagelume", "x");
    const QFont font = box.font();
    for (const char* message :
         {L::EPNGInvalidFileHeaderText, L::EPngUnexpectedEndText, L::EPNGIHDRNotFirstText,
          L::EPNGUnknownCriticalChunkText, L::EPNGNoImageDataText, L::EPngInvalidCRCText,
          L::EPngInvalidIHDRText, L::EPNGSizeExceedsText, L::EPNGUnknownCompressionText,
          L::EPNGUnknownInterlaceText, L::EPNGInvalidPaletteText, L::EPNGMissingMultipleIDATText,
          L::EPNGZLIBErrorText, L::EPNGOutMemoryText, L::EPNGHeaderNotPresentText,
          L::EPngErrorPaletteIndexText, L::EPngErrorAssignText, L::EPngErrorExistingCriticalText,
          L::EPngErrorNoHeaderText, L::EPNGInvalidNewSizeText, L::ZLibIncompatibleVersionText,
          L::ZLibBufferErrorText, L::ZLibInsufficientMemoryText, L::ZLibDataErrorText,
          L::ZLibStreamErrorText, L::ZLibFileErrorText}) {
        const QString text = QString::fromUtf8(message);
        ASSERT_FALSE(text.isEmpty());
        EXPECT_EQ(missingGlyphs(text, font), 0) << message;
    }
}

}  // namespace
}  // namespace pagelume::app
