#include "model/compound.h"

#include <atomic>
#include <cmath>

#include "foundation/numformat.h"
#include "model/element.h"
#include "model/formulaparser.h"
#include "platform/prompt.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(Key, ::zun::Serializable, 0)
ZUN_IMPLEMENT_SERIAL(Entry, ::zun::Serializable, 0)
ZUN_IMPLEMENT_SERIAL(Compound, ::zun::Serializable, 0)

namespace {

// Compounds stored before this version carry one more byte after the density.
constexpr std::uint32_t kCompoundLegacyByteBefore = 93;

std::atomic<Prompt*> gParsePrompt{nullptr};

constexpr int kMaxLoadDepth = 1000;
thread_local int loadDepth = 0;

// The attenuation code multiplies the counts out in single precision: a formula whose element
// amounts overflow there ("(O1e30)1e30", "O3e38O3e38") would weigh infinitely much.
bool AmountsFinite(const Compound& c) {
    Compound flat;
    c.FlattenInto(flat, 1.0f);
    for (const Entry& e : flat.entries)
        if (!std::isfinite(e.abundance)) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Key

Key::Key() = default;
Key::Key(std::string s) : symbol(std::move(s)) {}
Key::Key(std::unique_ptr<Compound> c) : compound(std::move(c)) {}
Key::Key(const Key& other)
    : compound(other.compound ? std::make_unique<Compound>(*other.compound) : nullptr),
      symbol(other.symbol) {}
Key::Key(Key&& other) noexcept = default;
Key& Key::operator=(Key&& other) noexcept = default;
Key::~Key() = default;

Key& Key::operator=(const Key& other) {
    if (this != &other) {
        compound = other.compound ? std::make_unique<Compound>(*other.compound) : nullptr;
        symbol = other.symbol;
    }
    return *this;
}

bool Key::operator==(const Key& other) const {
    if (compound && other.compound) return *compound == *other.compound;
    if (!compound && !other.compound) return symbol == other.symbol;
    return false;
}

void Key::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp;
        ar.WriteObject(compound.get());
        ar << symbol;
    } else {
        std::uint32_t version = 0;
        ar >> version;
        compound = ar.ReadOwnedObject<Compound>();
        ar >> symbol;
        // A damaged file must not bring in an element no lookup knows.
        if (!compound && ElementNumber(symbol) == 0)
            throw ArchiveException(ArchiveException::generic, "Unknown element symbol '" + symbol + "'");
    }
}

// ---------------------------------------------------------------------------------------------
// Entry

Entry::Entry(std::string symbol, float a) : key(std::move(symbol)), abundance(a) {}
Entry::Entry(std::unique_ptr<Compound> compound, float a) : key(std::move(compound)), abundance(a) {}

void Entry::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp;
        ar.WriteObject(&key);
        ar << abundance;
    } else {
        std::uint32_t version = 0;
        ar >> version;
        std::unique_ptr<Key> k = ar.ReadOwnedObject<Key>();
        if (!k) throw ArchiveException(ArchiveException::generic, "Compound entry without key");
        key = std::move(*k);
        ar >> abundance;
    }
}

// ---------------------------------------------------------------------------------------------
// Compound

Compound::Compound() {
    ElementSymbolList();
}
Compound::~Compound() = default;

Compound::Compound(const Compound& other)
    : Serializable(other),
      entries(other.entries),
      density(other.density),
      formula(other.formula),
      molarMass(other.molarMass) {}

Compound& Compound::operator=(const Compound& other) {
    if (this != &other) {
        entries = other.entries;
        density = other.density;
        formula = other.formula;
        molarMass = other.molarMass;
    }
    return *this;
}

bool Compound::operator==(const Compound& other) const {
    return density == other.density && formula == other.formula && entries == other.entries;
}

void Compound::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp << density << formula << static_cast<std::uint32_t>(entries.size());
        for (const Entry& e : entries) ar.WriteObject(&e);
    } else {
        // Sub-compounds load recursively; a damaged or hostile file must not nest them until the
        // stack runs out.
        struct DepthGuard {
            DepthGuard() {
                if (++loadDepth > kMaxLoadDepth)
                    throw ArchiveException(ArchiveException::generic, "Compound nesting too deep");
            }
            ~DepthGuard() { --loadDepth; }
        } guard;
        std::uint32_t version = 0;
        ar >> version >> density;
        if (version < kCompoundLegacyByteBefore) {
            bool legacy = false;
            ar >> legacy;
        }
        std::uint32_t n = 0;
        ar >> formula >> n;
        molarMass = -1.0;  // the loaded entries need their own
        for (std::uint32_t i = 0; i < n; ++i) {
            std::unique_ptr<Entry> e = ar.ReadOwnedObject<Entry>();
            if (!e) throw ArchiveException(ArchiveException::generic, "Compound entry missing");
            entries.push_back(std::move(*e));
        }
    }
}

void Compound::SetPrompt(Prompt* prompt) {
    gParsePrompt.store(prompt);
}

void Compound::ReportParseError(const std::string& message) {
    if (errorCount == 0) parseMessage = message;
    if (!quiet && errorCount == 0) {
        if (Prompt* p = gParsePrompt.load()) p->Tell(message, PromptIcon::Information);
    }
    ++errorCount;
}

int Compound::SetFormula(const std::string& text, bool beQuiet) {
    if (text.empty()) {
        ClearEntries();
        formula.clear();
        return 0;
    }
    Compound copy(*this);
    copy.ClearEntries();  // also forgets the molar mass of the old entries
    copy.formula = text;
    copy.errorCount = 0;
    copy.quiet = beQuiet;
    // A failed conversion returns -1 after counting its error: adding the signed result to the count
    // would cancel to 0 and accept the text, so the magnitude is added.
    copy.parseMessage.clear();
    const int parsed = parse_formula(text.c_str(), &copy);
    if (parsed == 0 && copy.errorCount == 0 && !AmountsFinite(copy))
        copy.ReportParseError("Abundance value too large");
    int r = (parsed < 0 ? -parsed : parsed) + copy.errorCount;
    if (r == 0) {
        *this = copy;
        parseMessage.clear();
    } else {
        parseMessage = copy.parseMessage.empty() ? "syntax error" : copy.parseMessage;
    }
    return r;
}

int Compound::AddFromNode(const FormulaNode& node, Compound* top) {
    Compound* report = top ? top : this;
    switch (node.type) {
        case FormulaNode::kElement:
            entries.emplace_back(node.symbol, 1.0f);
            return 0;
        case FormulaNode::kCounted: {
            const FormulaNode* child = node.children.empty() ? nullptr : node.children.front().get();
            if (!child) return -1;
            // A count that is 0 as stored (also one too small for a float) would give an element
            // or group that weighs nothing.
            float count = static_cast<float>(node.count);
            if (node.count == 0.0 || count == 0.0f) {
                report->ReportParseError("Abundance values must be > 0");
                return -1;
            }
            // One too large for a float would be kept as infinity, and its text ("inf") would not
            // parse again.
            if (!std::isfinite(count)) {
                report->ReportParseError("Abundance value too large");
                return -1;
            }
            if (child->type == FormulaNode::kElement) {
                entries.emplace_back(child->symbol, count);
                return 0;
            }
            std::unique_ptr<Compound> sub;
            try {
                sub = std::make_unique<Compound>();
            } catch (const std::bad_alloc&) {
                report->ReportParseError("out of memory");
                return -1;
            }
            if (int r = sub->AddFromNode(*child, report); r != 0) return r;
            entries.emplace_back(std::move(sub), count);
            return 0;
        }
        case FormulaNode::kList:
            for (const auto& c : node.children) {
                if (!c) return -1;
                if (int r = AddFromNode(*c, report); r != 0) return r;
            }
            return 0;
        default:
            return -1;
    }
}

std::string Compound::GetFormula() const {
    std::string s;
    for (const Entry& e : entries) {
        if (e.key.compound)
            s += "(" + e.key.compound->GetFormula() + ")";
        else
            s += e.key.symbol;
        if (e.abundance != 1.0f) s += FormatReal(e.abundance, -1, "%g");
    }
    return s;
}

void Compound::ClearEntries() {
    entries.clear();
    // The cached molar mass belongs to the entries: kept, it would give a new formula the old
    // formula's mass fractions.
    molarMass = -1.0;
}

double Compound::GetDefaultDensity() const {
    double d = 0.0;
    for (const Entry& e : entries) {
        if (e.key.compound)
            d += e.key.compound->GetDefaultDensity() * e.abundance;
        else
            d += e.abundance * ElementDensity(ElementNumber(e.key.symbol));
    }
    return d;
}

double Compound::GetTotalAbundance() const {
    double t = 0.0;
    for (const Entry& e : entries)
        t += e.key.compound ? e.key.compound->GetTotalAbundance() * e.abundance : e.abundance;
    return t;
}

double Compound::GetElementAmount(std::string_view symbol) const {
    double a = 0.0;
    for (const Entry& e : entries) {
        if (e.key.compound)
            a += e.key.compound->GetElementAmount(symbol) * e.abundance;
        else if (e.key.symbol == symbol)
            a += e.abundance;
    }
    return a;
}

double Compound::GetMolarMass() const {
    if (molarMass >= 0.0) return molarMass;  // NaN fails the test and is recomputed
    double m = 0.0;
    for (const Entry& e : entries) {
        if (e.key.compound)
            m += e.key.compound->GetMolarMass() * e.abundance;
        else
            m += e.abundance * AtomicWeight(ElementNumber(e.key.symbol));
    }
    molarMass = m;
    return m;
}

double Compound::GetMassFraction(std::string_view symbol) const {
    double m = GetMolarMass();
    if (m == 0.0) return 0.0;  // nothing to weigh: no element has a share
    return GetElementAmount(symbol) * AtomicWeight(ElementNumber(symbol)) / m;
}

void Compound::FlattenInto(Compound& target, float factor) const {
    for (const Entry& e : entries) {
        if (e.key.compound) {
            e.key.compound->FlattenInto(target, factor * e.abundance);
            continue;
        }
        float a = e.abundance * factor;
        bool found = false;
        for (Entry& t : target.entries) {
            if (!t.key.compound && t.key.symbol == e.key.symbol) {
                t.abundance += a;
                found = true;
                break;
            }
        }
        if (!found && a != 0.0f) target.entries.emplace_back(e.key.symbol, a);
    }
}

std::string Compound::GetAttenMethodName(int method) {
    switch (method) {
        case kAttenMucal:
            return "mucal";
        case kAttenTlacTrc:
            return "TLAC/TRC";
        case kAttenNist:
            return "NIST";
        case kAttenExtended:
            return "Extended";
        default:
            return "";
    }
}

std::string Compound::GetAttenKindSuffix(int kind) {
    switch (kind) {
        case kAttenTotal:
            return "tot";
        case kAttenPhoto:
            return "pe";
        default:
            return "";
    }
}

}  // namespace zun
