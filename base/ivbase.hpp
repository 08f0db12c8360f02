// IVBase: the class library's virtual base class. It gives every derived
// class a virtual destructor and two text descriptions of the object.
// Thread safety: no shared state; an object is used by one thread at a time.
#pragma once

class IString;

class IVBase {
public:
    // Destroys the object through a pointer to any base. Inline, so that a
    // derived object that lives on the stack costs no call to end.
    virtual ~IVBase() = default;

    // A short text naming the object; "IVBase object" unless overridden.
    virtual IString asString() const;

    // A text with the object's internal state for diagnostics; "IVBase object"
    // unless overridden.
    virtual IString asDebugInfo() const;
};
