#include "view3d/ui/screenimage.h"

#include <osg/GL>
#include <osg/RenderInfo>
#include <osg/Viewport>

namespace zun {

void ScreenImageCallback::Request(int order) {
    std::lock_guard lock(mutex_);
    requests_.push_back(order);
}

osg::ref_ptr<osg::Image> ScreenImageCallback::Take() {
    std::lock_guard lock(mutex_);
    osg::ref_ptr<osg::Image> img = image_;
    image_ = nullptr;
    return img;
}

void ScreenImageCallback::operator()(osg::RenderInfo& info) const {
    int order = -1;
    {
        std::lock_guard lock(mutex_);
        if (requests_.empty()) return;
        order = requests_.front();
        requests_.erase(requests_.begin());
    }
    const osg::Viewport* vp = info.getCurrentCamera() ? info.getCurrentCamera()->getViewport() : nullptr;
    if (!vp || vp->width() <= 0 || vp->height() <= 0) return;
    osg::ref_ptr<osg::Image> img = new osg::Image;
    // Opaque pixels: the translucent volume leaves alpha below one in the framebuffer.
    img->readPixels(static_cast<int>(vp->x()), static_cast<int>(vp->y()), static_cast<int>(vp->width()),
                    static_cast<int>(vp->height()), order == kBgr ? GL_BGR : GL_RGB, GL_UNSIGNED_BYTE);
    std::lock_guard lock(mutex_);
    image_ = img;
}

}  // namespace zun
