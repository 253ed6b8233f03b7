#pragma once
// A material given by chemical formula: entries of elements and parenthesised sub-compounds with
// their abundances, the density, the formula text as typed, and the attenuation lookups.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/archive.h"
#include "platform/runtimeclass.h"

namespace zun {

class Compound;
class Prompt;
struct FormulaNode;

// Either an element symbol or an owned sub-compound.
class Key : public Serializable {
    ZUN_DECLARE_SERIAL(Key)
public:
    Key();
    explicit Key(std::string symbol);
    explicit Key(std::unique_ptr<Compound> compound);
    Key(const Key& other);
    Key(Key&& other) noexcept;
    Key& operator=(const Key& other);
    Key& operator=(Key&& other) noexcept;
    ~Key() override;

    // Sub-compounds compare by value; a sub-compound key never equals an element key.
    bool operator==(const Key& other) const;
    void Serialize(Archive& ar) override;

    std::unique_ptr<Compound> compound;  // null for an element key
    std::string symbol;                  // empty for a sub-compound key
};

class Entry : public Serializable {
    ZUN_DECLARE_SERIAL(Entry)
public:
    Entry() = default;
    Entry(std::string symbol, float abundance);
    Entry(std::unique_ptr<Compound> compound, float abundance);
    Entry(const Entry&) = default;
    Entry(Entry&&) noexcept = default;
    Entry& operator=(const Entry&) = default;
    Entry& operator=(Entry&&) noexcept = default;

    bool operator==(const Entry& other) const { return key == other.key && abundance == other.abundance; }
    bool IsCompound() const { return key.compound != nullptr; }
    void Serialize(Archive& ar) override;

    Key key;
    float abundance = 1.0f;  // atoms, or formula units of a sub-compound
};

// Attenuation selectors.
enum AttenMethod : int { kAttenMucal = 0, kAttenTlacTrc = 1, kAttenNist = 2, kAttenExtended = 3 };
enum AttenKind : int { kAttenTotal = 0, kAttenPhoto = 1 };
enum AttenDataType : int { kLinearAttenuation = 0, kLinearPhaseShift = 1 };

class Compound : public Serializable {
    ZUN_DECLARE_SERIAL(Compound)
public:
    Compound();
    Compound(const Compound& other);
    Compound(Compound&& other) noexcept = default;
    Compound& operator=(const Compound& other);
    Compound& operator=(Compound&& other) noexcept = default;
    ~Compound() override;

    // density, formula and the entries; the molar-mass cache and the parse state take no part.
    bool operator==(const Compound& other) const;
    void Serialize(Archive& ar) override;

    // Parses text; replaces this compound only when the result is 0. An empty text clears it.
    // Messages go to the prompt set with SetPrompt (at most the first problem of a parse, and none
    // when quiet); the first one also stays in parseMessage for callers that report it themselves.
    int SetFormula(const std::string& text, bool quiet);
    // The formula rebuilt from the entries ("%g" abundances, 1 omitted).
    std::string GetFormula() const;

    void ClearEntries();
    double GetDefaultDensity() const;  // sum of abundance x element density
    double GetTotalAbundance() const;
    double GetElementAmount(std::string_view symbol) const;
    double GetMolarMass() const;  // cached; not safe to call on one object from two threads at once
    double GetMassFraction(std::string_view symbol) const;
    // Adds this compound's elements, multiplied out by factor, into target.
    void FlattenInto(Compound& target, float factor) const;

    // Mass attenuation (cm2/g) by the mixture rule over the flattened elements; 0 for an empty
    // compound or where the source has no data. Safe to call from several threads.
    double MassAttenuation(int method, int dataType, int kind, double energy) const;
    // MassAttenuation x density (1/cm).
    double LinearAttenuation(int method, int dataType, int kind, double energy) const;
    // Counts the elements that the method cannot serve and appends their symbols to list
    // (comma-separated, each once).
    int CountUnavailableElements(int method, std::string& list) const;

    static std::string GetAttenMethodName(int method);
    static std::string GetAttenKindSuffix(int kind);

    // Where parse messages are shown (null: nowhere). Process-wide, set by the application.
    static void SetPrompt(Prompt* prompt);

    // Parse support: counts an error and shows the first one unless quiet.
    void ReportParseError(const std::string& message);
    // Converts a parse-tree node into this compound; 0 or -1. Errors are counted against top (the
    // compound of the parse; null: this one).
    int AddFromNode(const FormulaNode& node, Compound* top = nullptr);

    std::vector<Entry> entries;       // in formula order
    double density = 0.0;             // g/cm3, set by the user
    std::string formula;              // the text as given to SetFormula
    bool quiet = false;               // parse state
    int errorCount = 0;               // parse state
    std::string parseMessage;         // parse state: the first problem of the last SetFormula
    mutable double molarMass = -1.0;  // cache of GetMolarMass; negative: not computed
};

}  // namespace zun
