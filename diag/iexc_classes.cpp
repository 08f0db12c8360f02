// The subclasses of IException: constructors and class names.
#include "diag/iexc.hpp"

#define VRK_DEFINE_EXCEPTION(Name, Base)                                       \
    Name::Name(const char* errorText, unsigned long errorId, bool recoverable) \
        : Base(errorText, errorId, recoverable) {}                             \
    Name::Name(const Name& other) = default;                                   \
    Name::~Name() = default;                                                   \
    const char* Name::name() const { return #Name; }

VRK_DEFINE_EXCEPTION(IAccessError, IException)
VRK_DEFINE_EXCEPTION(IAssertionFailure, IException)
VRK_DEFINE_EXCEPTION(IDeviceError, IException)
VRK_DEFINE_EXCEPTION(IInvalidParameter, IException)
VRK_DEFINE_EXCEPTION(IInvalidRequest, IException)
VRK_DEFINE_EXCEPTION(IResourceExhausted, IException)
VRK_DEFINE_EXCEPTION(IPreconditionViolation, IException)

VRK_DEFINE_EXCEPTION(IOutOfMemory, IResourceExhausted)
VRK_DEFINE_EXCEPTION(IOutOfSystemResource, IResourceExhausted)
VRK_DEFINE_EXCEPTION(IOutOfWindowResource, IResourceExhausted)

VRK_DEFINE_EXCEPTION(IOutOfCollectionMemory, IOutOfMemory)

VRK_DEFINE_EXCEPTION(IFullException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IEmptyException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(INotEmptyException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(INotBoundedException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(ICursorInvalidException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IPositionInvalidException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(INotContainsKeyException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IKeyAlreadyExistsException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IRootAlreadyExistsException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IChildAlreadyExistsException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IIdenticalCollectionException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(IInvalidReplacementException, IPreconditionViolation)
VRK_DEFINE_EXCEPTION(ICyclicAttachException, IPreconditionViolation)

VRK_DEFINE_EXCEPTION(INotBoundedExceptionImpl, INotBoundedException)
VRK_DEFINE_EXCEPTION(INotContainsKeyExceptionImpl, INotContainsKeyException)
VRK_DEFINE_EXCEPTION(IIdenticalCollectionExceptionImpl, IIdenticalCollectionException)
VRK_DEFINE_EXCEPTION(IOutOfCollectionMemoryImpl, IOutOfCollectionMemory)
