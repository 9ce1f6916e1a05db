// Reads the dialog template back from the built program (the path is the
// first argument) and compares it field by field with the template the
// program must carry: header, font, caption and the ten controls in tab order.
// Also checks that the template is the program's only resource.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TestKit.h"

using wintest::Check;
using wintest::W;

namespace {

struct ControlRow {
  DWORD id;
  const char* className;
  const char* text;  // UTF-8
  DWORD style;
  short x, y, width, height;
};

constexpr DWORD kStatic = 0xFFFFFFFFu;  // id -1: a label never addressed
constexpr DWORD kLabel = 0x50020000;    // WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT
constexpr DWORD kReadOnly =
    0x50810880;  // ... WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL

const ControlRow kControls[] = {
    {kStatic, "STATIC", u8"変換元SMFのパス(&P):", kLabel, 7, 9, 64, 8},
    {1001, "EDIT", u8"", kReadOnly, 76, 7, 178, 14},
    {1002, "BUTTON", u8"参照(&R)...", 0x50010000, 258, 7, 40, 14},
    {kStatic, "STATIC", u8"変換前のテンポ(&O):", kLabel, 7, 31, 57, 8},
    {1004, "EDIT", u8"", kReadOnly, 76, 29, 60, 14},
    {kStatic, "STATIC", u8"BPM", kLabel, 142, 31, 15, 8},
    {kStatic, "STATIC", u8"変換後のテンポ(&D):", kLabel, 7, 54, 57, 8},
    {1005, "EDIT", u8"", 0x50810080, 76, 51, 60, 14},
    {kStatic, "STATIC", u8"BPM", kLabel, 142, 53, 15, 8},
    {1006, "BUTTON", u8"名前を付けて保存(&S)...", 0x50010001, 76, 80, 222, 18},
};

// A cursor over the template's bytes; every read is bounds-checked.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  std::uint16_t Word() {
    std::uint16_t v = 0;
    Copy(&v, 2);
    return v;
  }
  std::uint32_t Dword() {
    std::uint32_t v = 0;
    Copy(&v, 4);
    return v;
  }
  std::uint8_t Byte() {
    std::uint8_t v = 0;
    Copy(&v, 1);
    return v;
  }
  short Short() { return static_cast<short>(Word()); }
  std::wstring String() {
    std::wstring s;
    for (std::uint16_t c = Word(); ok_ && c != 0; c = Word())
      s += static_cast<wchar_t>(c);
    return s;
  }
  // A name or an ordinal (0xFFFF then the number) as the template stores it.
  std::wstring NameOrOrdinal(std::uint16_t* ordinal) {
    *ordinal = 0;
    const std::size_t start = position_;
    if (Word() == 0xFFFF) {
      *ordinal = Word();
      return {};
    }
    position_ = start;
    return String();
  }
  void AlignDword() { position_ = (position_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t n) {
    if (position_ + n > size_)
      ok_ = false;
    position_ += n;
  }

 private:
  void Copy(void* out, std::size_t n) {
    if (!ok_ || position_ + n > size_) {
      ok_ = false;
      return;
    }
    std::memcpy(out, data_ + position_, n);
    position_ += n;
  }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

std::string Utf8(const std::wstring& wide) {
  if (wide.empty())
    return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], length, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(length) - 1);
  return out;
}

// Predefined window classes are stored as ordinals.
std::string ClassName(std::uint16_t ordinal, const std::wstring& name) {
  switch (ordinal) {
    case 0:
      return Utf8(name);
    case 0x80:
      return "BUTTON";
    case 0x81:
      return "EDIT";
    case 0x82:
      return "STATIC";
    default:
      return "#" + std::to_string(ordinal);
  }
}

template <class T>
void CheckEqual(const std::string& name, const T& got, const T& want) {
  Check(got == want, name,
        got == want ? "" : "got " + std::to_string(got) + " want " + std::to_string(want));
}
void CheckText(const std::string& name, const std::wstring& got, const char* wantUtf8) {
  Check(got == W(wantUtf8), name,
        got == W(wantUtf8) ? "" : "got \"" + Utf8(got) + "\" want \"" + wantUtf8 + "\"");
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR out) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(out)->push_back(reinterpret_cast<ULONG_PTR>(type));
  return TRUE;
}
BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(out)->push_back(reinterpret_cast<ULONG_PTR>(name));
  return TRUE;
}
BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(out)->push_back(language);
  return TRUE;
}

void CheckTemplate(const std::uint8_t* data, std::size_t size) {
  Reader r(data, size);
  CheckEqual<unsigned>("header: dlgVer 1", r.Word(), 1);
  CheckEqual<unsigned>("header: signature 0xFFFF (extended format)", r.Word(), 0xFFFF);
  CheckEqual<unsigned long>("header: helpID 0", r.Dword(), 0);
  CheckEqual<unsigned long>("header: exStyle WS_EX_ACCEPTFILES", r.Dword(), 0x10);
  CheckEqual<unsigned long>("header: style 0x80CA0840", r.Dword(), 0x80CA0840);
  const std::uint16_t count = r.Word();
  CheckEqual<unsigned>("header: 10 controls", count, 10);
  CheckEqual<int>("header: x 0", r.Short(), 0);
  CheckEqual<int>("header: y 0", r.Short(), 0);
  CheckEqual<int>("header: width 305", r.Short(), 305);
  CheckEqual<int>("header: height 109", r.Short(), 109);
  std::uint16_t ordinal = 0;
  const std::wstring menu = r.NameOrOrdinal(&ordinal);
  Check(menu.empty() && ordinal == 0, "header: no menu");
  const std::wstring windowClass = r.NameOrOrdinal(&ordinal);
  Check(windowClass.empty() && ordinal == 0, "header: the standard dialog class");
  CheckText("header: caption", r.String(), u8"Sorbello SMF テンポ チェンジャー");
  CheckEqual<unsigned>("font: 9 point", r.Word(), 9);
  CheckEqual<unsigned>("font: weight 400", r.Word(), 400);
  CheckEqual<unsigned>("font: not italic", r.Byte(), 0);
  CheckEqual<unsigned>("font: character set 128 (SHIFTJIS_CHARSET)", r.Byte(), 128);
  CheckText("font: typeface", r.String(), u8"ＭＳ Ｐゴシック");

  for (std::uint16_t i = 0; i < count && i < 10; ++i) {
    const ControlRow& want = kControls[i];
    const std::string tag = "control " + std::to_string(i + 1) + " (" + want.className + " " +
                            std::to_string(static_cast<int>(want.id)) + "): ";
    r.AlignDword();
    const std::uint32_t helpId = r.Dword();
    const std::uint32_t exStyle = r.Dword();
    const std::uint32_t style = r.Dword();
    const short x = r.Short(), y = r.Short(), width = r.Short(), height = r.Short();
    const std::uint32_t id = r.Dword();
    const std::wstring className = r.NameOrOrdinal(&ordinal);
    const std::string cls = ClassName(ordinal, className);
    std::uint16_t textOrdinal = 0;
    const std::wstring text = r.NameOrOrdinal(&textOrdinal);
    const std::uint16_t extra = r.Word();
    r.Skip(extra);
    std::string wrong;  // the fields that differ, with what was found
    if (id != want.id)
      wrong += " id " + std::to_string(id);
    if (cls != want.className)
      wrong += " class " + cls;
    if (text != W(want.text) || textOrdinal != 0)
      wrong += " text \"" + Utf8(text) + "\"";
    if (style != want.style)
      wrong += " style " + std::to_string(style);
    if (x != want.x || y != want.y || width != want.width || height != want.height) {
      wrong += " at " + std::to_string(x) + "," + std::to_string(y) + " size " +
               std::to_string(width) + "x" + std::to_string(height);
    }
    if (helpId != 0 || exStyle != 0 || extra != 0)
      wrong += " help id, extended style or data";
    Check(wrong.empty(), tag + "id, class, text, style, position, size", wrong);
  }
  Check(r.ok(), "template: every field lies inside the resource");
}

}  // namespace

int main(int argc, char** argv) {
  wintest::StartWatchdog(60);
  if (argc < 2) {
    Check(false, "usage: win32_resource_test PROGRAM.exe");
    return wintest::Finish();
  }
  const std::string program = wintest::WindowsPath(argv[1]);
  const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  Check(module != nullptr, "the program loads as a data file", program);
  if (module == nullptr)
    return wintest::Finish();

  std::vector<ULONG_PTR> types, names, languages;
  EnumResourceTypesA(module, CollectType, reinterpret_cast<LONG_PTR>(&types));
  Check(types.size() == 1 && types[0] == reinterpret_cast<ULONG_PTR>(RT_DIALOG),
        "resources: only a dialog (no icon, version block or manifest)",
        std::to_string(types.size()) + " type(s)");
  EnumResourceNamesA(module, RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&names));
  Check(names.size() == 1 && names[0] == 101, "resources: exactly one dialog, id 101 (IDD_MAIN)");
  EnumResourceLanguagesA(module, RT_DIALOG, MAKEINTRESOURCEA(101), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  Check(languages.size() == 1 && languages[0] == 1041,
        "resources: language 1041 (Japanese, Japan)");

  const HRSRC resource = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(101), 1041);
  Check(resource != nullptr, "resources: template 101 in language 1041 found");
  if (resource != nullptr) {
    const auto* data =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(module, resource)));
    CheckTemplate(data, SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return wintest::Finish();
}
