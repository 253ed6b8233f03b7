// The X-ray attenuation table: computing the four quantities of two compositions and writing the
// table text, for the grid sizes the window meets (1001 rows is where its progress dialog starts).
// Usage: bench_plot_attentable [repetitions]

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "plot/compoundtext.h"

using namespace zun;

namespace {

double BestSeconds(int reps, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}

void AddComposition(CZunDoc& doc, const std::string& name, const std::string& formula, double density) {
    doc.InsertChannel(0, doc.InsertPositionLast(0), name);
    Compound& c = doc.GetSample().GetChan(doc.GetSample().FindChanIndex(name))->compound;
    c.SetFormula(formula, true);
    c.density = density;
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::stoi(argv[1]) : 5;
    RegisterDocumentClasses();
    CZunDoc doc;
    doc.OnNewDocument();
    AddComposition(doc, "bone", "Ca5(PO4)3OH", 1.92);
    AddComposition(doc, "contrast", "C19H26I3N3O9", 1.4);
    std::printf("two compositions, four quantities each, with depth, edges and wavelength; best of %d\n",
                reps);
    std::printf("%-10s %-22s %12s %12s %12s\n", "rows", "method", "compute ms", "table ms", "rows/s");
    for (const int method : {kAttenTlacTrc, kAttenExtended}) {
        doc.Settings().attenuationMethod = method;
        for (const char* interval : {"0.1", "0.01", "0.001"}) {
            CompoundTextModel m(doc, {"bone", "contrast"}, nullptr);
            m.Open();
            CompoundTextFields f = m.FieldsFromSettings();
            f.minEnergy = "10";
            f.maxEnergy = "110";
            f.interval = interval;
            f.mu = f.beta = f.phi = f.delta = true;
            f.penetrationDepth = f.markEdges = f.showWavelength = true;
            if (!m.ReadFields(f)) return 1;
            const double compute = BestSeconds(reps, [&] { m.Calculate(); });
            const double table = BestSeconds(reps, [&] { m.BuildTable(); });
            const auto rows = m.Energies().size();
            std::printf("%-10zu %-22s %12.2f %12.2f %12.0f\n", rows,
                        Compound::GetAttenMethodName(method).c_str(), compute * 1e3, table * 1e3,
                        static_cast<double>(rows) / (compute + table));
        }
    }
    return 0;
}
