// IApplication and ICurrentApplication: the process-wide application object,
// which knows the process identifier and keeps a copy of the command-line
// arguments.
// Thread safety: IApplication::current() may be called from any thread, the
// first call included; every thread gets the one object. The stored
// arguments belong to one thread at a time.
#pragma once

#include "base/istring.hpp"
#include "base/ivbase.hpp"

class ICurrentApplication;
class IResourceLibrary;

class IApplication : public IVBase {
public:
    ~IApplication() override;

    // The process's application object, made on first use and never destroyed.
    static ICurrentApplication& current();

    // "IApplication(@<address>,id=<id>)".
    IString asString() const override;
    IString asDebugInfo() const override;

    // The operating system's identifier of the process.
    virtual unsigned long id() const;

protected:
    IApplication();
    virtual IApplication& setId(unsigned long id);

private:
    IApplication(const IApplication&) = delete;
    IApplication& operator=(const IApplication&) = delete;

    unsigned long idValue;
};

class ICurrentApplication : public IApplication {
public:
    ~ICurrentApplication() override;

    // "ICurrentApplication(@<address>,id=...,torqaLib=...,userLib=...,
    // argCount=...,argValue=...)".
    IString asString() const override;
    IString asDebugInfo() const override;

    // The number of stored arguments (the program name counts as one); 0
    // before setArgs.
    virtual int argc() const;
    // A copy of stored argument n, counted from 0; the empty value for any n
    // outside 0 to argc() - 1. Never fails.
    virtual IString argv(int n) const;
    // Replaces the stored arguments with copies of the first argc texts of
    // argv (a null text, or a null vector, gives empty arguments). A count of
    // 0 or less leaves no arguments. Returns the object.
    virtual ICurrentApplication& setArgs(int argc, char** argv);

private:
    friend class IApplication;
    ICurrentApplication();

    IResourceLibrary* torqaLib;
    IResourceLibrary* userLib;
    int argCount;
    IString* argValue;
};
