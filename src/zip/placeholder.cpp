// Placeholder so the library has a translation unit until its code lands.
namespace pagelume {}
