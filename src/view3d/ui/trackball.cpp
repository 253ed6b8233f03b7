#include "view3d/ui/trackball.h"

namespace zun {

MFCTrackballManipulator::MFCTrackballManipulator()
    : osgGA::TrackballManipulator(UPDATE_MODEL_SIZE | PROCESS_MOUSE_WHEEL) {
    setAutoComputeHomePosition(false);
    setTrackballSize(0.4);
    setMinimumDistance(0.1, true);
}

void MFCTrackballManipulator::SetHomeFromBound(const osg::Node* node) {
    if (!node) return;
    const osg::BoundingSphere& b = node->getBound();
    const osg::Vec3d c = b.center();
    const double r = b.radius();
    setHomePosition(osg::Vec3d(c.x(), c.y() - 2.5 * r, c.z()), osg::Vec3d(1, 1, 1), osg::Vec3d(0, 0, 1),
                    false);
    setAutoComputeHomePosition(false);
    setTransformation(_homeEye, _homeCenter, _homeUp);
}

void MFCTrackballManipulator::EndThrow() {
    if (_thrown) {
        _thrown = false;
        flushMouseEventStack();
    }
    if (isAnimating()) finishAnimation();
}

bool MFCTrackballManipulator::handleMouseWheel(const osgGA::GUIEventAdapter& ea,
                                               osgGA::GUIActionAdapter& us) {
    if (ctrlHeld && shiftHeld) {
        const auto motion = ea.getScrollingMotion();
        if (stepSlices && motion == osgGA::GUIEventAdapter::SCROLL_UP) stepSlices(true);
        if (stepSlices && motion == osgGA::GUIEventAdapter::SCROLL_DOWN) stepSlices(false);
        return false;
    }
    return osgGA::TrackballManipulator::handleMouseWheel(ea, us);
}

}  // namespace zun
