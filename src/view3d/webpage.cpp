#include "view3d/webpage.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "foundation/pathutil.h"
#include "view3d/webatlas.h"

namespace zun {

namespace {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string out;
    if (n < static_cast<int>(sizeof small)) {
        out = small;
    } else {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

// Addresses of the data-publishing service; empty until a deployment sets them, so that a page
// never reaches a service nobody chose.
constexpr const char* kServiceBaseUrl = "";
constexpr const char* kServiceOldUrl = "";

void AppendServiceScript(std::string& s, const std::string& name, int levelCount) {
    s += "\t\t<script type=\"text/javascript\">\n\t\t//<![CDATA[\n";
    s += "\t\twindow.ds_wsOptions = {\n";
    s += "\t\t\t\"local_jQuery_path\": \"js/jquery.min.js\",\n";
    s += Format("\t\t\t\"wsBaseURL\": \"%s\",\n\t\t\t\"wsOldURL\": \"%s\",\n", kServiceBaseUrl,
                kServiceOldUrl);
    s += "\t\t\t\"htmlFolder\": \"Web3D/\",\n\t\t\t\"images\": {";
    s += Format("\"zun1\":\"%s_zun1.js\"", name.c_str());
    for (int k = 2; k <= levelCount; ++k) s += Format(",\"zun%d\":\"%s_zun%d.js\"", k, name.c_str(), k);
    s += "},\n";
    s += "\t\t\t\"css\": {\"x3dom_css\": \"css/x3dom.css\", \"zun_css\": \"css/zun103.css\", "
         "\"jquery_ui_css\": \"css/jquery-ui.min.css\"},\n";
    s += Format(
        "\t\t\t\"js\": {\"jquery_ui_js\": \"js/jquery-ui.min.js\", \"x3dom_js\": \"js/x3dom.js\", "
        "\"zun_js\": \"js/zun104.js\", \"zun1\": \"%s_zun1.js\"}\n\t\t};\n",
        name.c_str());
    s += "\t\tif (typeof jQuery === 'undefined') {\n"
         "\t\t\tdocument.write('<script src=\"https://code.jquery.com/jquery-1.10.2.min.js\"><\\/script>');\n"
         "\t\t}\n";
    s +=
        "\t\tfunction ds_getJSON(url, done) { $.ajax({ url: url, dataType: 'json', success: done }); }\n"
        "\t\tfunction ds_getDataURL(files, fileName) {\n"
        "\t\t\tfor (var i = 0; i < files.length; i++) { if (files[i].label === fileName) return "
        "files[i].url; }\n"
        "\t\t\treturn null;\n\t\t}\n"
        "\t\tfunction setPageURLs(files) {\n"
        "\t\t\tvar o = window.ds_wsOptions;\n"
        "\t\t\t$.each(o.images, function(k, v) { var u = ds_getDataURL(files, v); if (u) o.images[k] = u; "
        "});\n"
        "\t\t\t$.each(o.js, function(k, v) { var u = ds_getDataURL(files, v.split('/').pop()); if (u) "
        "o.js[k] = u; "
        "});\n"
        "\t\t\t$.each(o.css, function(k, v) { var u = ds_getDataURL(files, v.split('/').pop()); if (u) "
        "o.css[k] = "
        "u; });\n"
        "\t\t}\n"
        "\t\tfunction getCSSFromService() {\n"
        "\t\t\t$.each(window.ds_wsOptions.css, function(k, v) { $('head').append($('<link rel=\"stylesheet\" "
        "type=\"text/css\"/>').attr('href', v)); });\n"
        "\t\t}\n"
        "\t\t(function() {\n"
        "\t\t\tvar o = window.ds_wsOptions, here = window.location.href;\n"
        "\t\t\tvar base = (o.wsBaseURL && here.indexOf(o.wsBaseURL) === 0) ? o.wsBaseURL :\n"
        "\t\t\t\t((o.wsOldURL && here.indexOf(o.wsOldURL) === 0) ? o.wsOldURL : null);\n"
        "\t\t\tif (base) {\n"
        "\t\t\t\tvar id = here.substring(base.length).split('/')[0];\n"
        "\t\t\t\tds_getJSON(base + id + '.json', function(meta) {\n"
        "\t\t\t\t\tds_getJSON(base + meta.pid + '/data.json', function(files) { setPageURLs(files); "
        "getCSSFromService(); });\n"
        "\t\t\t\t});\n"
        "\t\t\t} else {\n"
        "\t\t\t\tconsole.log('running document with relative paths');\n"
        "\t\t\t}\n"
        "\t\t})();\n";
    s += "\t\t//]]>\n\t\t</script>\n";
}

}  // namespace

std::string Web3DCreateDate(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char buf[128];
    std::strftime(buf, sizeof buf, "%A, %B %d %Y, %H:%M", &local);
    return buf;
}

std::array<double, 3> Web3DViewpointPosition(const std::array<double, 3>& eye, double radius) {
    const double scale = radius * 2.5 / 10.0;
    if (!(scale > 0)) return eye;
    return {eye[0] / scale, eye[1] / scale, eye[2] / scale};
}

std::array<double, 3> Web3DVolumeDimensions(int X, int Y, int Z, const std::array<double, 3>& v) {
    const double lx = X * v[0], ly = Y * v[1], lz = Z * v[2];
    const double l = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double k = l > 0 ? 20.0 * std::tan(M_PI / 8.0) / l : 0.0;
    return {lx * k, ly * k, lz * k};
}

std::string HtmlAttributeEscape(const std::string& text) {
    std::string flat = text;
    for (char& c : flat)
        if (c == '\r' || c == '\n') c = ' ';
    return HtmlEscape(flat);
}

std::string BuildWeb3DPage(const Web3DOptions& o, const std::string& name,
                           const std::vector<Web3DPageLevel>& levels, const Web3DPageFacts& f) {
    const std::string title = HtmlAttributeEscape(o.title);
    const int W0 = AtlasWidth(o), H0 = AtlasHeight(o);
    const auto g = [&](std::size_t i) { return i < f.sampleGrid.size() ? f.sampleGrid[i] : 0; };
    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n";
    s += "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en\" lang=\"en\">\n";
    s += "\t<head>\n";
    s += "\t\t<title>" + title + "</title>\n";
    s += "\t\t<meta charset=\"UTF-8\" />\n";
    s += "\t\t<meta http-equiv=\"Access-Control-Allow-Origin\" content=\"*\" />\n";
    s += "\t\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n";
    s += "\t\t<meta name=\"author\" content=\"Zun interactive volume export\" />\n";
    s += "\t\t<meta name=\"description\" content=\"" + title + "\" />\n";
    s += "\t\t<meta name=\"title\" content=\"" + title + "\" />\n";
    s += "\t\t<meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\" />\n";
    s += Format("\t\t<meta name=\"sample size\" content=\"%d x %d x %d\" />\n", g(0), g(1), g(2));
    s += Format("\t\t<meta name=\"image size\" content=\"%d x %d x %d\" />\n", o.X, o.Y, o.Z);
    s += Format("\t\t<meta name=\"martix\" content=\"%d x %d\" />\n", W0, H0);
    s += "\t\t<meta name=\"zun version\" content=\"" + HtmlAttributeEscape(f.versionText) + "\" />\n";
    s += "\t\t<meta name=\"create date\" content=\"" + HtmlAttributeEscape(f.createDate) + "\" />\n";
    // Account names are not published with the page.
    s += "\t\t<meta name=\"user\" content=\"\" />\n";
    s += "\t\t<link rel=\"stylesheet\" type=\"text/css\" href=\"css/jquery-ui.min.css\" />\n";
    s += "\t\t<link rel=\"stylesheet\" type=\"text/css\" href=\"css/x3dom.css\" />\n";
    s += "\t\t<link rel=\"stylesheet\" type=\"text/css\" href=\"css/zun103.css\" />\n";
    for (const char* js : {"js/jquery.min.js", "js/jquery-ui.min.js", "js/x3dom.js", "js/zun104.js"})
        s += Format("\t\t<script type=\"text/javascript\" src=\"%s\"></script>\n", js);
    s += Format("\t\t<script type=\"text/javascript\" src=\"%s\"></script>\n", (name + "_zun1.js").c_str());
    const int count = static_cast<int>(levels.size());
    if (o.serviceScript) AppendServiceScript(s, name, count);
    s += "\t\t<style type=\"text/css\">\n"
         "\t\t@media screen and (max-width: 600px) {\n"
         "\t\t\t#header, #footer { display: none; }\n"
         "\t\t\t#content { position: absolute; left: 0; top: 0; width: 100%; height: 100%; }\n"
         "\t\t}\n"
         "\t\t</style>\n";
    const int w1 = levels.empty() ? W0 : AtlasWidth(levels[0].level);
    const int h1 = levels.empty() ? H0 : AtlasHeight(levels[0].level);
    s += "\t\t<script type=\"text/javascript\">\n\t\t//<![CDATA[\n";
    s += Format("\t\tfunction canSupport() { return isSupport3D(%d, %d); }\n", w1, h1);
    s += Format("\t\t$(document).ready(function() {\n\t\t\tinit(%f, 1.4, 140);\n", o.opacityFactor);
    if (o.serviceScript) {
        s += "\t\t\t$.each(window.ds_wsOptions.images, function(i, item) { loadImage(item, i); });\n";
    } else {
        for (int k = 2; k <= count; ++k)
            s += Format("\t\t\tloadImage(\"%s_zun%d.js\", \"zun%d\");\n", name.c_str(), k, k);
    }
    s += "\t\t});\n\t\t//]]>\n\t\t</script>\n";
    s += "\t</head>\n\t<body>\n";
    s += "\t\t<div id=\"loading\">Loading ...</div>\n";
    s += "\t\t<div id=\"browserError\" title=\"Web browser error\" class=\"hiddenDialog\">\n"
         "\t\t\t<p>This web browser cannot show XHTML pages with 3-D content.</p>\n\t\t</div>\n";
    s += "\t\t<div id=\"header\">\n";
    s += "\t\t\t<h1>" + title + "</h1>\n";
    s += "\t\t\t<fieldset id=\"descriptionBox\"><legend>Description</legend>\n";
    s += "\t\t\t\t<p>" + HtmlEscape(o.description) + "</p>\n\t\t\t</fieldset>\n";
    s += "\t\t</div>\n";
    s += "\t\t<div id=\"content\">\n";
    s += "\t\t\t<div id=\"controls\">\n";
    s += "\t\t\t\t<fieldset id=\"displayBox\"><legend>Display</legend>\n";
    const char* sliders[5][2] = {{"R", "colorRFactor"},
                                 {"G", "colorGFactor"},
                                 {"B", "colorBFactor"},
                                 {"O", "opacityFactor"},
                                 {"D", "distance"}};
    for (const auto& sl : sliders)
        s += Format(
            "\t\t\t\t\t<div class=\"sliderBox\"><div class=\"slider\" "
            "id=\"%s\"></div><span>%s</span></div>\n",
            sl[1], sl[0]);
    s += "\t\t\t\t\t<label><input type=\"checkbox\" id=\"grayscale\" /> Greyscale</label>\n";
    s += "\t\t\t\t</fieldset>\n";
    s += "\t\t\t\t<fieldset id=\"otherBox\"><legend>Other</legend>\n";
    s += "\t\t\t\t\t<label><input type=\"checkbox\" id=\"showStat\" /> Show stat.</label><br />\n";
    s += "\t\t\t\t\t<label><input type=\"checkbox\" id=\"showLog\" /> Show log</label>\n";
    const char* infos[5][2] = {{"Red", "infoRed"},
                               {"Green", "infoGreen"},
                               {"Blue", "infoBlue"},
                               {"Opacity", "infoOpacity"},
                               {"Distance", "infoDistance"}};
    for (const auto& in : infos)
        s += Format("\t\t\t\t\t<div class=\"info\">%s: <span id=\"%s\"></span></div>\n", in[0], in[1]);
    s += "\t\t\t\t\t<div class=\"info\">Steps: <select name=\"numsteps\" id=\"numsteps\">"
         "<option value=\"60\">60</option><option value=\"100\">100</option>"
         "<option value=\"140\" selected=\"selected\">140</option><option value=\"180\">180</option>"
         "<option value=\"220\">220</option></select></div>\n";
    s += "\t\t\t\t</fieldset>\n";
    s += "\t\t\t\t<div id=\"buttons\"><button type=\"button\" id=\"showTitle\">Show title</button>"
         "<button type=\"button\" id=\"hideTitle\">Hide title</button>"
         "<button type=\"button\" id=\"reset\">Reset</button></div>\n";
    s += "\t\t\t</div>\n";
    s += "\t\t\t<X3D id='x3dcontent' showStat='false' showLog='false'>\n\t\t\t\t<Scene>\n";
    s += "\t\t\t\t\t<Background skyColor='0 0 0'></Background>\n";
    s += Format(
        "\t\t\t\t\t<Viewpoint description='Default' position='%f %f %f' orientation='%f %f %f %f'>"
        "</Viewpoint>\n",
        f.position[0], f.position[1], f.position[2], f.orientation[0], f.orientation[1], f.orientation[2],
        f.orientation[3]);
    const auto dim = Web3DVolumeDimensions(o.X, o.Y, o.Z, f.voxelSize);
    s += "\t\t\t\t\t<Transform id='root'>\n";
    s += Format(
        "\t\t\t\t\t\t<VolumeData id='volume' dimensions='%f %f %f' distance='%f' numSteps='%f' "
        "maxSteps='%f' encode='%d'>\n",
        dim[0], dim[1], dim[2], 1.4, 140.0, static_cast<double>(o.maxSteps), 1);
    const Web3DOptions& first = levels.empty() ? o : levels[0].level;
    s += Format(
        "\t\t\t\t\t\t\t<ImageTextureAtlas id='imageTexture' containerField='voxels' numberOfSlices='%d' "
        "slicesOverX='%d' slicesOverY='%d' url='\"zun1\"'></ImageTextureAtlas>\n",
        first.Z, first.tilesX, first.tilesY);
    s += Format(
        "\t\t\t\t\t\t\t<ZUNVolumeStyle id='optstyle' opacityFactor='%f' grayscale='0.0' colorRFactor='1.0' "
        "colorGFactor='1.0' colorBFactor='1.0' />\n",
        static_cast<double>(o.opacityFactor));
    s += "\t\t\t\t\t\t</VolumeData>\n\t\t\t\t\t</Transform>\n\t\t\t\t</Scene>\n\t\t\t</X3D>\n";
    s += "\t\t</div>\n";
    s += Format("\t\t<div id=\"footer\">\n\t\t\t<select name=\"resolution\" id=\"resolution\" %s>\n",
                count <= 1 ? "style=\"display:none\"" : "");
    for (int k = 1; k <= count; ++k) {
        const Web3DOptions& l = levels[k - 1].level;
        const std::string value = "zun" + std::to_string(k);
        if (k == 1)
            s += Format(
                "\t\t\t\t<option value=\"%s\" selected=\"selected\" numslices=\"%d\" tilex=\"%d\" "
                "tiley=\"%d\" width=\"%d\" height=\"%d\" ready=\"%s\">%s</option>\n",
                value.c_str(), l.Z, l.tilesX, l.tilesY, AtlasWidth(l), AtlasHeight(l), "true",
                levels[0].label.c_str());
        else
            s += Format(
                "\t\t\t\t<option value=\"%s\" numslices=\"%d\" tilex=\"%d\" tiley=\"%d\" width=\"%d\" "
                "height=\"%d\" ready=\"%s\">%s</option>\n",
                value.c_str(), l.Z, l.tilesX, l.tilesY, AtlasWidth(l), AtlasHeight(l), "false",
                levels[k - 1].label.c_str());
    }
    s += "\t\t\t</select>\n";
    s += "\t\t\t<p class=\"credit\">Made with Zun, data-constrained modelling of X-ray CT data.</p>\n";
    s += "\t\t</div>\n\t</body>\n</html>\n";
    return s;
}

std::string BuildWeb3DLoaderPage(const std::string& title, const std::string& name) {
    std::string s;
    s += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";
    // The title is escaped here too: it is the user's text inside markup.
    s += "<title>" + HtmlAttributeEscape(title) + "</title>\n";
    s += "<script src=\"https://code.jquery.com/jquery-2.2.0.min.js\"></script>\n";
    s += "<script>\n";
    s += Format("var ds_baseURL = \"%s\";\nvar ds_oldURL = \"%s\";\n", kServiceBaseUrl, kServiceOldUrl);
    s += "var ds_xhtml_file = \"Web3D/" + name + ".xhtml\";\n";
    s += "$(function() {\n"
         "\tvar q = new URLSearchParams(window.location.search);\n"
         "\tvar collection = q.get('collection'), file = q.get('file');\n"
         "\tif (!ds_baseURL || !collection) return;\n"
         "\t$.getJSON(ds_baseURL + collection + '.json', function(meta) {\n"
         "\t\t$.getJSON(ds_baseURL + (file || meta.pid) + '/data.json', function(files) {\n"
         "\t\t\tfor (var i = 0; i < files.length; i++)\n"
         "\t\t\t\tif (files[i].label === ds_xhtml_file.split('/').pop()) $('#iframeLoader').attr('src', "
         "files[i].url);\n"
         "\t\t});\n"
         "\t});\n"
         "});\n";
    s += "</script>\n</head>\n";
    s += "<body style=\"margin:0px;padding:0px;overflow:hidden\">\n";
    s += "<iframe id=\"iframeLoader\" style=\"border:0;width:100%;height:100vh\"></iframe>\n";
    s += "</body>\n</html>\n";
    return s;
}

}  // namespace zun
