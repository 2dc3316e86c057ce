// A small form model: what a form's load handler sees of its form and of
// the screen. Geometry is in twips (1/1440 inch) as single-precision numbers.
#pragma once

#include <memory>

namespace kestrel::forms {

// A loaded form: its outer size and position, frame included.
class Form {
public:
    virtual ~Form() = default;
    virtual float Width() const = 0;
    virtual float Height() const = 0;
    virtual float Left() const = 0;
    virtual float Top() const = 0;
    virtual void SetLeft(float twips) = 0;
    virtual void SetTop(float twips) = 0;
};

// The full size of the primary display.
class Screen {
public:
    virtual ~Screen() = default;
    virtual float Width() const = 0;
    virtual float Height() const = 0;
};

// The application-wide global object; hands out the screen object.
class Application {
public:
    virtual ~Application() = default;
    virtual std::unique_ptr<Screen> GetScreen() = 0;
};

// A form's outer geometry as a value.
struct FormRect {
    float Width = 0;
    float Height = 0;
    float Left = 0;
    float Top = 0;
};

// A Form over a FormRect.
class RectForm final : public Form {
public:
    explicit RectForm(FormRect& rect) : rect_(rect) {}
    float Width() const override { return rect_.Width; }
    float Height() const override { return rect_.Height; }
    float Left() const override { return rect_.Left; }
    float Top() const override { return rect_.Top; }
    void SetLeft(float twips) override { rect_.Left = twips; }
    void SetTop(float twips) override { rect_.Top = twips; }

private:
    FormRect& rect_;
};

}  // namespace kestrel::forms
