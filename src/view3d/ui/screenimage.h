#pragma once
// The main camera's final draw callback: reads the drawn frame back when asked to.

#include <osg/Camera>
#include <osg/Image>

#include <mutex>
#include <vector>

namespace zun {

class ScreenImageCallback : public osg::Camera::DrawCallback {
public:
    enum Order { kBgr = 0, kRgb = 1 };
    void Request(int order);
    // The image read by the last frame drawn after a request (null when none), taken out.
    osg::ref_ptr<osg::Image> Take();
    void operator()(osg::RenderInfo& info) const override;

private:
    mutable std::mutex mutex_;
    mutable std::vector<int> requests_;
    mutable osg::ref_ptr<osg::Image> image_;
};

}  // namespace zun
