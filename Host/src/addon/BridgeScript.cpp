#include "BridgeScript.hpp"

#include <nlohmann/json.hpp>

namespace {

// JSON text is valid JavaScript; "</" is split so that no value can close the script block.
std::string ScriptLiteral(const nlohmann::json& value)
{
    std::string text = value.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
    std::string safe;
    for (std::size_t i = 0; i < text.size(); ++i) {
        safe += text[i];
        if (text[i] == '<' && i + 1 < text.size() && text[i + 1] == '/') safe += "\\";
    }
    return safe;
}

}  // namespace

std::string BuildBridgeScript(const std::string& token, int browserId,
                              const std::map<std::string, std::vector<std::string>>& functionsByObject,
                              unsigned long long servedAfter)
{
    nlohmann::json objects = nlohmann::json::object();
    for (const auto& [name, functions] : functionsByObject) objects[name] = functions;

    std::string script = "<script>\n(function () {\n";
    script += "  var TOKEN = " + ScriptLiteral(token) + ";\n";
    script += "  var BASE = " + ScriptLiteral("/browser/" + std::to_string(browserId)) + ";\n";
    script += "  var OBJECTS = " + ScriptLiteral(objects) + ";\n";
    script += "  var AFTER = " + std::to_string(servedAfter) + ";\n";
    script += R"JS(
  function call(objectName, functionName, args) {
    return fetch(BASE + '/call', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'X-Quillmere-Token': TOKEN },
      body: JSON.stringify({ object: objectName, function: functionName, args: args })
    }).then(function (response) {
      return response.json().catch(function () { return { ok: false, error: 'HTTP ' + response.status }; });
    }).then(function (answer) {
      if (!answer.ok) throw new Error(answer.error || 'The bridge call failed.');
      return answer.result;
    });
  }
  Object.keys(OBJECTS).forEach(function (objectName) {
    var object = {};
    OBJECTS[objectName].forEach(function (functionName) {
      object[functionName] = function () { return call(objectName, functionName, Array.prototype.slice.call(arguments)); };
    });
    Object.defineProperty(window, objectName, { value: Object.freeze(object), writable: false, configurable: false });
  });

  // Scripts from the host run as page scripts, in order, once the document is parsed.
  var waiting = [];
  function run(source) {
    var element = document.createElement('script');
    element.textContent = source;
    (document.body || document.documentElement).appendChild(element);
    element.remove();
  }
  document.addEventListener('DOMContentLoaded', function () {
    var queued = waiting; waiting = null;
    queued.forEach(run);
  });
  var events = new EventSource(BASE + '/events?token=' + encodeURIComponent(TOKEN) + '&after=' + AFTER);
  events.onmessage = function (event) {
    if (waiting) waiting.push(event.data); else run(event.data);
  };
  var connected = true;
  function announce(now) {
    if (now === connected) return;
    connected = now;
    window.dispatchEvent(new CustomEvent('bridgeconnection', { detail: { connected: now } }));
  }
  events.onerror = function () { announce(false); };
  events.onopen = function () { announce(true); };
})();
</script>
)JS";
    return script;
}

std::string InjectBridgeScript(const std::string& document, const std::string& bridgeScript)
{
    const std::string tag = "<head>";
    auto at = document.find(tag);
    if (at == std::string::npos) return bridgeScript + document;
    std::string result = document;
    result.insert(at + tag.size(), "\n" + bridgeScript);
    return result;
}

std::string EventStreamMessage(unsigned long long id, const std::string& script)
{
    std::string message = "id: " + std::to_string(id) + "\n";
    std::string line;
    for (std::size_t i = 0; i <= script.size(); ++i) {
        const bool end = i == script.size();
        const char c = end ? '\n' : script[i];
        if (c == '\r' || c == '\n') {
            message += "data: " + line + "\n";
            line.clear();
            if (c == '\r' && i + 1 < script.size() && script[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    return message + "\n";
}
