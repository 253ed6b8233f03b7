#include "plot/tabletext.h"

#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "document/atomicfile.h"

namespace zun {
namespace {
std::ostringstream ClassicStream() {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    return s;
}
}  // namespace

std::string FormatTableNumber(double v) {
    std::ostringstream s = ClassicStream();
    s << v;
    return s.str();
}

void WriteTableHeader(std::ostream& out, const std::string& caption, const std::string& title1,
                      const std::string& title2) {
    std::ostringstream s = ClassicStream();
    s << "# " << caption << '\n';
    s << "# " << std::setw(kTableFieldWidth) << title1 << std::setw(kTableFieldWidth) << title2 << '\n';
    out << s.str();
}

void WriteTableRow(std::ostream& out, double a, double b) {
    std::ostringstream s = ClassicStream();
    s << std::setw(kTableFieldWidth) << a << std::setw(kTableFieldWidth) << b << '\n';
    out << s.str();
}

void WriteTableText(std::ostream& out, const std::string& caption, const std::string& title1,
                    const std::string& title2, const std::vector<std::pair<double, double>>& rows) {
    WriteTableHeader(out, caption, title1, title2);
    for (const auto& [a, b] : rows) WriteTableRow(out, a, b);
}

bool SaveTextFile(const std::string& path, const std::string& text, std::string* error) {
    try {
        AtomicFile file(path);
        file.Write(text.data(), text.size());
        file.Commit();
        return true;
    } catch (const std::exception&) {
        if (error) *error = "Could not create " + path;
        return false;
    }
}

}  // namespace zun
