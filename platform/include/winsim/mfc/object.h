// CObject: the root of the class library's classes. Objects derived from it are deleted through
// its virtual destructor and are not copied.
#pragma once

class CObject {
public:
    virtual ~CObject();

protected:
    CObject();

private:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};
