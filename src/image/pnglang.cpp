#include "image/pnglang.h"

namespace pagelume::image::pnglang {

const char* const EPNGInvalidFileHeaderText =
    "不是一个有效的PNG图像, 因为它包含无效文件头. 这个文件可能被损坏.";
const char* const EPngUnexpectedEndText = "PNG图像是无效的, 文件异常结束.";
const char* const EPNGIHDRNotFirstText = "不支持的或无效的PNG图像.\r\n(IHDR块不在开始位置)";
const char* const EPNGUnknownCriticalChunkText = "PNG图像包含有未知的组成部分，不能解码。";
const char* const EPNGNoImageDataText = "PNG图像未包含有效数据.";
const char* const EPngInvalidCRCText = "PNG图像无效, 包含有无效数据片段(CRC错误)";
const char* const EPngInvalidIHDRText = "不能加载PNG图像, 其数据（IHDR）可能被损坏";
const char* const EPNGSizeExceedsText =
    "不支持的PNG图像，因为其宽度或高度超过了最大(65535像素)限制。";
const char* const EPNGUnknownCompressionText = "PNG图像使用了未知的压缩方式, 无法解码。";
const char* const EPNGUnknownInterlaceText = "PNG图像使用了未知的隔行扫描方式, 无法解码";
const char* const EPNGInvalidPaletteText = "PNG图像包含一个无效的调色板.";
const char* const EPNGMissingMultipleIDATText = "PNG图像无效, 可能缺少部分图像";
const char* const EPNGZLIBErrorText = "无法解压缩，因为它包含无效的数据.\r\n 描述: ";
const char* const EPNGOutMemoryText = "系统资源不足,操作无法执行.请关闭一些窗口,然后再试.";
const char* const EPNGHeaderNotPresentText = "操作无效,当前图像不包含有效的头.";
const char* const EPngErrorPaletteIndexText = "不存在的调色板入口";
const char* const EPngErrorAssignText = "被分配的块必须兼容";
const char* const EPngErrorExistingCriticalText = "不允许添加已经存在的关键块.";
const char* const EPngErrorNoHeaderText = "当前图像是无效, 不能添加新块.";
const char* const EPNGInvalidNewSizeText = "调整大小时,指定的新值无效.";

const char* const ZLibIncompatibleVersionText = "incompatible version (-6)";
const char* const ZLibBufferErrorText = "buffer error (-5)";
const char* const ZLibInsufficientMemoryText = "insufficient memory (-4)";
const char* const ZLibDataErrorText = "data error (-3)";
const char* const ZLibStreamErrorText = "stream error (-2)";
const char* const ZLibFileErrorText = "file error (-1)";

}  // namespace pagelume::image::pnglang
