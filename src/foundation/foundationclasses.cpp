#include "foundation/foundationclasses.h"

#include "foundation/image.h"
#include "foundation/matrix.h"

namespace zun {

void RegisterFoundationClasses() {
    ClassRegistry& r = ClassRegistry::Instance();
#define ZUN_REGISTER_CHAN(T)          \
    r.Register(&Image<T>::classInfo); \
    r.Register(&Chan<T>::classInfo);  \
    r.Register(&ChanXd<T>::classInfo);
#define ZUN_REGISTER_2D(T)              \
    r.Register(&Image2d<T>::classInfo); \
    r.Register(&Chan2d<T>::classInfo);
#define ZUN_REGISTER_3D(T)              \
    r.Register(&Image3d<T>::classInfo); \
    r.Register(&Chan3d<T>::classInfo);
    ZUN_VOXEL_CHAN_TYPES(ZUN_REGISTER_CHAN)
    ZUN_VOXEL_2D_TYPES(ZUN_REGISTER_2D)
    ZUN_VOXEL_3D_TYPES(ZUN_REGISTER_3D)
#undef ZUN_REGISTER_CHAN
#undef ZUN_REGISTER_2D
#undef ZUN_REGISTER_3D
    r.Register(&Matrix<float>::classInfo);
}

}  // namespace zun
