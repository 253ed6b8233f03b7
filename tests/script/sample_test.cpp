#include <gtest/gtest.h>

#include "foundation/foundationclasses.h"
#include "model/sampleclasses.h"
#include "model/zunchan.h"
#include "script/editdata.h"
#include "script/sampledocument.h"

namespace zun::script {
namespace {

TEST(SampleScriptDocument, EditsChannelsOfASample) {
    RegisterFoundationClasses();
    RegisterModelClasses();
    ZunImage sample;
    sample.Resize(Dims{4, 3, 2});
    ASSERT_EQ(sample.InsertChan(0, 0, "comp_1", 1), 1);
    ASSERT_EQ(sample.InsertChan(1, 1, "ct_1", 2), 2);
    ZunChan* ct = sample.FindChan("ct_1");
    ct->range = {10.0f, 20.0f};
    int modified = 0, edited = 0;
    SampleScriptDocument doc(
        sample, [&] { ++modified; }, [&] { ++edited; });

    EXPECT_EQ(ExecuteLine(doc, "ct_1[1][2][3].raw = 8192, ct_1[1][2][3]"), "\n{8192,15.0003}");
    EXPECT_EQ(ct->Data()[3 + 4 * 2 + 12 * 1], 8192);
    EXPECT_EQ(modified, 1);
    EXPECT_EQ(ExecuteLine(doc, "comp_1.ro = ct_1 > 12, sumt(comp_1.raw)"),
              "\n{{{{false,false,false,false},{false,false,false,false},{false,false,false,false}},"
              "{{false,false,false,false},{false,false,false,false},{false,false,false,true}}},0}");
    EXPECT_EQ(sample.FindChan("comp_1")->Data()[3 + 4 * 2 + 12 * 1], 0x4000);
    EXPECT_EQ(ExecuteLine(doc, "Comp_1"), "\nvariable does not exist: 'Comp_1'");
    EXPECT_EQ(edited, 3);
}

}  // namespace
}  // namespace zun::script
