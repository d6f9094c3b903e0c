#include <maya/MUIDrawManager.h>

using hostapi::DrawPrimitive;

DrawPrimitive& MUIDrawManager::append(DrawPrimitive::Kind kind) {
    DrawPrimitive& primitive = recorded_.emplace_back();
    primitive.kind = kind;
    primitive.color = color_;
    return primitive;
}

void MUIDrawManager::beginDrawable(unsigned int selectability, unsigned int selectionName) {
    DrawPrimitive& primitive = append(DrawPrimitive::Kind::BeginDrawable);
    primitive.selectability = selectability;
    primitive.selectionName = selectionName;
}

void MUIDrawManager::endDrawable() { append(DrawPrimitive::Kind::EndDrawable); }

void MUIDrawManager::setColor(const MColor& color) {
    color_ = color;
    append(DrawPrimitive::Kind::SetColor);
}

void MUIDrawManager::line(const MPoint& startPoint, const MPoint& endPoint) {
    append(DrawPrimitive::Kind::Line).points = {startPoint, endPoint};
}

void MUIDrawManager::point(const MPoint& position) { append(DrawPrimitive::Kind::Point).points = {position}; }

void MUIDrawManager::text(const MPoint& position, const MString& text, TextAlignment alignment,
                          const int* backgroundSize, const MColor* backgroundColor, bool dynamic) {
    DrawPrimitive& primitive = append(DrawPrimitive::Kind::Text);
    primitive.points = {position};
    primitive.text = text.asChar();
    primitive.alignment = static_cast<int>(alignment);
    if (backgroundSize) primitive.backgroundSize = std::array<int, 2>{backgroundSize[0], backgroundSize[1]};
    if (backgroundColor) primitive.backgroundColor = *backgroundColor;
    primitive.dynamic = dynamic;
}
