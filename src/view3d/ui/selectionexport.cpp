#include "view3d/ui/selectionexport.h"

#include "document/zundoc.h"
#include "tree/displaytree.h"
#include "view3d/treelayers.h"
#include "view3d/ui/volumescene.h"
#include "view3d/ui/zunview.h"
#include "view3d/viewmessages.h"

namespace zun {

int ExportSelectionToOsg(CZunView& view, const DisplayTree& tree, const SliceSelection& keep,
                         const std::string& path, std::vector<std::string>& errors) {
    CZunDoc* doc = view.Document();
    const Dims dims = view.GetDisplayVolume().GetDims();
    if (!doc || !tree.IsBuilt() || CountVoxels(dims) == 0 || !SelectsAnything(keep)) {
        errors.push_back(viewmsg::kNoVolumetricImage);
        return 1;
    }
    const ZunImage& sample = doc->GetSample();
    // Declared before the scene, which draws from its memory without owning it.
    DisplayVolume volume;
    if (volume.Resize(dims) < 0) {
        errors.push_back(viewmsg::kNoVolumetricImage);
        return 1;
    }
    TreeDisplayLayers all(tree, sample);
    SelectionLayers kept(all, keep);
    if (FillDisplayVolume(kFillAll, kept, sample.GetDims(), volume.Data(), dims) == 0) {
        errors.push_back(viewmsg::kExportNotDisplayed);
        return 2;
    }
    ViewSettings settings = view.Settings();
    RenderSettings render;
    render.renderMode = settings.renderMode;
    VolumeScene scene(settings, render);
    bool creating = false;
    // The box keeps the view's proportions.
    scene.Build(volume.Data(), dims, SceneVoxelSize(*doc), creating);
    return scene.ExportOsg(path, errors);
}

}  // namespace zun
