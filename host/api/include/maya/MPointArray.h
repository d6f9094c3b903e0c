#pragma once
#include <maya/MArrays.inl>
#include <maya/MPoint.h>

class MPointArray : public MHostArray<MPoint> {};
