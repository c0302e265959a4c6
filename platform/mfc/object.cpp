#include <afx.h>

CObject::CObject() = default;

CObject::~CObject() = default;
