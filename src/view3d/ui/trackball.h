#pragma once
// The trackball the user turns and zooms the volume with; Ctrl+Shift with the wheel steps the
// tree's slices instead of zooming.

#include <osgGA/TrackballManipulator>

#include <functional>

namespace zun {

class MFCTrackballManipulator : public osgGA::TrackballManipulator {
public:
    MFCTrackballManipulator();

    // Home: the eye 2.5 radii in front of the bound's centre along -y, z up.
    void SetHomeFromBound(const osg::Node* node);
    bool handleMouseWheel(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& us) override;
    // The keys' and the control panel's steps: one trackball drag in normalised window units, and
    // a pan of the model.
    void Drag(float x0, float y0, float x1, float y1) { rotateTrackball(x0, y0, x1, y1, 1.0f); }
    void Pan(float dx, float dy) { panModel(dx, dy); }
    // Ends a throw and any animation of the camera. The throw turns the camera on every frame by
    // the time since the last one: once the view stops spinning (hidden, minimised) the next
    // single redraw would otherwise turn it by that whole pause.
    void EndThrow();

    // Kept by the view's key handlers.
    bool ctrlHeld = false;
    bool shiftHeld = false;
    std::function<void(bool forward)> stepSlices;

protected:
    ~MFCTrackballManipulator() override = default;
};

}  // namespace zun
