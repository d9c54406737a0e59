#pragma once

// The host's dialog framework as far as the add-on's palette needs it: a palette window
// and the embedded browser control with its two-way JavaScript bridge.
//
// In the emulated host the browser is a real web browser that the host application serves
// on 127.0.0.1: the document the add-on loads is served to it, registered bridge objects
// appear in the page as objects whose functions return promises, and ExecuteJS reaches the
// page over an event stream. All of this is main-thread API, as in the real host.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GSRoot.hpp"

namespace JS {

// One value crossing the bridge: undefined, a boolean, a number or a text (UTF-8).
class Value {
public:
    enum class Type { Undefined, Bool, Number, String };

    Value() = default;
    explicit Value(bool b) : type(Type::Bool), boolValue(b) {}
    explicit Value(double d) : type(Type::Number), numberValue(d) {}
    explicit Value(std::string s) : type(Type::String), stringValue(std::move(s)) {}
    explicit Value(const char* s) : type(Type::String), stringValue(s) {}

    Type GetType() const { return type; }
    bool IsUndefined() const { return type == Type::Undefined; }
    bool IsString() const { return type == Type::String; }
    bool GetBool() const { return boolValue; }
    double GetNumber() const { return numberValue; }
    const std::string& GetString() const { return stringValue; }

private:
    Type type = Type::Undefined;
    bool boolValue = false;
    double numberValue = 0.0;
    std::string stringValue;
};

// A function the page can call; it runs on the host's main thread.
class Function {
public:
    using Handler = std::function<Value(const std::vector<Value>& args)>;
    Function(std::string name, Handler handler) : name(std::move(name)), handler(std::move(handler)) {}

    const std::string& GetName() const { return name; }
    Value Call(const std::vector<Value>& args) const { return handler ? handler(args) : Value(); }

private:
    std::string name;
    Handler handler;
};

// A named object of functions that the page sees as window.<name>.
class Object {
public:
    explicit Object(std::string name) : name(std::move(name)) {}

    void AddItem(Function function) { functions.push_back(std::move(function)); }
    const std::string& GetName() const { return name; }
    const std::vector<Function>& GetFunctions() const { return functions; }

private:
    std::string name;
    std::vector<Function> functions;
};

}  // namespace JS

namespace DG {

class Browser;

// A floating palette window. Visibility and enabling are the host's; the palette's
// content is its browser.
class Palette {
public:
    Palette(const GS::Guid& guid, const std::string& title);
    virtual ~Palette();

    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    void Show();
    void Hide();
    bool IsVisible() const;
    void Enable();
    void Disable();
    bool IsEnabled() const;
    // The window's content size in pixels; the host keeps it within what fits a screen.
    void SetSize(int width, int height);
    int GetWidth() const;
    int GetHeight() const;
    void BeginEventProcessing();
    void EndEventProcessing();
    bool IsProcessingEvents() const;
    const std::string& GetTitle() const;
    int GetId() const;

    struct State;  // the host's record of the window

private:
    std::shared_ptr<State> state;
};

// The embedded browser control of a palette.
class BrowserBase {
public:
    virtual ~BrowserBase() = default;

    // Loads a document: a file:// address or a plain path of a local HTML file.
    virtual void LoadURL(const GS::UniString& url) = 0;
    // Runs a script in the loaded page; nothing tells whether or when it ran.
    virtual void ExecuteJS(const GS::UniString& script) = 0;
    // Makes window.<name> available in the page; replaces an object of the same name.
    virtual bool RegisterAsynchJSObject(const JS::Object& object) = 0;
};

class Browser : public BrowserBase {
public:
    explicit Browser(Palette& owner);
    ~Browser() override;

    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    void LoadURL(const GS::UniString& url) override;
    void ExecuteJS(const GS::UniString& script) override;
    bool RegisterAsynchJSObject(const JS::Object& object) override;

    int GetId() const;

    struct State;  // the host's record of the control

private:
    std::shared_ptr<State> state;
};

}  // namespace DG
