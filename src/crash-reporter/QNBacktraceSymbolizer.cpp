// SPDX-License-Identifier: MIT
#include "QNBacktraceSymbolizer.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <cxxabi.h>
#include <elfutils/libdwfl.h>

#include <cstdlib>
#include <memory>

namespace {

struct Frame {
    QString module;
    QString symbol;  // may be empty: the offset is from the module's base
    quint64 offset = 0;
    bool parsed = false;
};

Frame parseFrame(const QString& line)
{
    // module(symbol+0xOFF) [0xADDR], module(+0xOFF)[0xADDR]
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(.+)\(([^()+]*)\+0x([0-9a-fA-F]+)\)\s*\[0x[0-9a-fA-F]+\]\s*$)"));
    Frame f;
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return f;
    bool ok = false;
    f.offset = m.captured(3).toULongLong(&ok, 16);
    f.module = m.captured(1);
    f.symbol = m.captured(2);
    f.parsed = ok;
    return f;
}

QString demangle(const char* name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && out ? QString::fromUtf8(out.get()) : QString::fromUtf8(name);
}

struct DwflDeleter {
    void operator()(Dwfl* d) const { dwfl_end(d); }
};

class Session {
public:
    Session()
    {
        // Debug information comes from this machine only: libdw would ask
        // the debuginfod servers named in the environment over the network.
        static const bool offline = qunsetenv("DEBUGINFOD_URLS");
        Q_UNUSED(offline);
        _callbacks.find_elf = dwfl_build_id_find_elf;
        _callbacks.find_debuginfo = dwfl_standard_find_debuginfo;
        _callbacks.section_address = dwfl_offline_section_address;
        _callbacks.debuginfo_path = &_debuginfoPath;
        _dwfl.reset(dwfl_begin(&_callbacks));
    }

    Dwfl_Module* module(const QString& path)
    {
        if (!_dwfl)
            return nullptr;
        const auto it = _modules.constFind(path);
        if (it != _modules.constEnd())
            return *it;
        Dwfl_Module* mod = nullptr;
        if (QFileInfo(path).isFile()) {
            dwfl_report_begin_add(_dwfl.get());
            const QByteArray native = QFile::encodeName(path);
            mod = dwfl_report_offline(_dwfl.get(), native.constData(), native.constData(), -1);
            dwfl_report_end(_dwfl.get(), nullptr, nullptr);
        }
        _modules.insert(path, mod);
        return mod;
    }

private:
    Dwfl_Callbacks _callbacks{};
    char* _debuginfoPath = nullptr;
    std::unique_ptr<Dwfl, DwflDeleter> _dwfl;
    QHash<QString, Dwfl_Module*> _modules;
};

// The address of the frame inside the module as libdwfl placed it.
bool moduleAddress(Dwfl_Module* mod, const Frame& f, Dwarf_Addr* address)
{
    Dwarf_Addr start = 0;
    dwfl_module_info(mod, nullptr, &start, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (f.symbol.isEmpty()) {
        *address = start + f.offset;
        return true;
    }
    const QByteArray wanted = f.symbol.toUtf8();
    const int count = dwfl_module_getsymtab(mod);
    for (int i = 1; i < count; ++i) {
        GElf_Sym sym;
        GElf_Addr value = 0;
        const char* name = dwfl_module_getsym_info(mod, i, &sym, &value, nullptr, nullptr, nullptr);
        if (name && wanted == name && value != 0) {
            *address = value + f.offset;
            return true;
        }
    }
    return false;
}

}  // namespace

QStringList QNBacktraceSymbolizer::rawFrames(const QString& entry)
{
    QStringList frames;
    const QStringList lines = entry.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    const qsizetype at = lines.indexOf(QStringLiteral("Backtrace:"));
    if (at < 0)
        return frames;
    for (qsizetype i = at + 1; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().isEmpty())
            break;
        frames << lines.at(i);
    }
    return frames;
}

QStringList QNBacktraceSymbolizer::symbolize(const QStringList& frames, int* resolved)
{
    Session session;
    QStringList out;
    int found = 0;
    // The recorder's own handler comes first, then the kernel's signal
    // return, then the faulting instruction itself; every other frame holds
    // a return address, which points after its call: looking up the byte
    // before it finds the line of the call.
    qsizetype faulting = 0;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const Frame f = parseFrame(frames.at(i));
        Dwfl_Module* mod = f.parsed ? session.module(f.module) : nullptr;
        Dwarf_Addr address = 0;
        if (!mod || !moduleAddress(mod, f, &address)) {
            out << frames.at(i);
            continue;
        }
        const Dwarf_Addr lookup = (i == faulting || address == 0) ? address : address - 1;
        const char* name = dwfl_module_addrname(mod, lookup);
        if (!name) {
            out << frames.at(i);
            continue;
        }
        const QString function = demangle(name);
        if (i == 0 && function.startsWith(QStringLiteral("qn::crash::")))
            faulting = 2;
        ++found;
        int line = 0;
        const char* file = nullptr;
        if (Dwfl_Line* l = dwfl_module_getsrc(mod, lookup))
            file = dwfl_lineinfo(l, nullptr, &line, nullptr, nullptr, nullptr);
        if (file && line > 0)
            out << QStringLiteral("%1 (%2:%3)").arg(function, QFileInfo(QString::fromUtf8(file)).fileName()).arg(line);
        else
            out << QStringLiteral("%1 (%2)").arg(function, QFileInfo(f.module).fileName());
    }
    if (resolved)
        *resolved = found;
    return out;
}

QString QNBacktraceSymbolizer::reportWithSymbols(const QString& entry)
{
    const QStringList frames = rawFrames(entry);
    if (frames.isEmpty())
        return entry;
    int resolved = 0;
    const QStringList symbolised = symbolize(frames, &resolved);
    if (resolved == 0)
        return entry;
    const bool endsLine = entry.endsWith(QLatin1Char('\n')) || entry.endsWith(QLatin1Char('\r'));
    return entry + QLatin1String(endsLine ? "\n" : "\n\n") + QStringLiteral("Symbolised backtrace:\n")
        + symbolised.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
