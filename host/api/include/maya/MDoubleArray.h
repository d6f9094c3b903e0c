#pragma once
#include <maya/MArrays.inl>

class MDoubleArray : public MHostArray<double> {};
