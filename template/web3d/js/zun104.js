/*
 * Interactive volume page of Zun.
 *
 * The page holds the volume as 2-D texture atlases (one tile per slice, a transparent border
 * around each tile), embedded as Base64 PNG text in small scripts. The scene library draws a
 * box; a ray caster in its shader walks through the box and looks the samples up in the atlas,
 * blending two neighbouring slices. The ZUNVolumeStyle element carries the colour, grey-scale
 * and opacity factors that the page's sliders change.
 */
(function (global) {
    "use strict";

    var XHTML = "http://www.w3.org/1999/xhtml";
    var state = {
        opacityFactor: 1.4,
        distance: 1.4,
        numSteps: 140,
        defaults: null,
        current: "zun1"
    };

    function el(name, attrs) {
        var e = document.createElementNS(XHTML, name);
        for (var k in attrs) {
            if (attrs.hasOwnProperty(k)) e.setAttribute(k, attrs[k]);
        }
        return e;
    }

    function dataUrl(variable) {
        var text = global[variable];
        return (typeof text === "string" && text.length) ? "data:image/png;base64," + text : "";
    }

    // ---- the scene library's nodes this page needs

    if (global.x3dom && x3dom.nodeTypes && !x3dom.nodeTypes.ZUNVolumeStyle) {
        x3dom.registerNodeType("ZUNVolumeStyle", "VolumeRendering", defineClass(x3dom.nodeTypes.X3DNode,
            function (ctx) {
                x3dom.nodeTypes.ZUNVolumeStyle.superClass.call(this, ctx);
                this.addField_SFFloat(ctx, "opacityFactor", 1.4);
                this.addField_SFFloat(ctx, "grayscale", 0.0);
                this.addField_SFFloat(ctx, "colorRFactor", 1.0);
                this.addField_SFFloat(ctx, "colorGFactor", 1.0);
                this.addField_SFFloat(ctx, "colorBFactor", 1.0);
            },
            {
                nodeChanged: function () {
                    var names = ["opacityFactor", "grayscale", "colorRFactor", "colorGFactor", "colorBFactor"];
                    for (var i = 0; i < names.length; i++) setUniform(names[i], this._vf[names[i]]);
                },
                fieldChanged: function (name) {
                    setUniform(name, this._vf[name]);
                }
            }));
    }
    if (global.x3dom && x3dom.nodeTypes && !x3dom.nodeTypes.VolumeData) {
        // Without the scene library's own volume component the element is a group that holds the
        // ray-cast box; the atlas and the style are kept as its data.
        x3dom.registerNodeType("VolumeData", "VolumeRendering", defineClass(x3dom.nodeTypes.X3DGroupingNode,
            function (ctx) {
                x3dom.nodeTypes.VolumeData.superClass.call(this, ctx);
                this.addField_SFVec3f(ctx, "dimensions", 1, 1, 1);
                this.addField_SFFloat(ctx, "distance", 1.4);
                this.addField_SFFloat(ctx, "numSteps", 140);
                this.addField_SFFloat(ctx, "maxSteps", 220);
                this.addField_SFInt32(ctx, "encode", 1);
                this.addField_SFNode("voxels", x3dom.nodeTypes.X3DTextureNode);
                this.addField_SFNode("renderStyle", x3dom.nodeTypes.X3DNode);
            }, {}));
    }

    // ---- the ray caster

    var vertexShader = [
        "attribute vec3 position;",
        "uniform mat4 modelViewProjectionMatrix;",
        "varying vec3 vPos;",
        "void main() {",
        "    vPos = position;",
        "    gl_Position = modelViewProjectionMatrix * vec4(position, 1.0);",
        "}"
    ].join("\n");

    var fragmentShader = [
        "#ifdef GL_FRAGMENT_PRECISION_HIGH",
        "precision highp float;",
        "#else",
        "precision mediump float;",
        "#endif",
        "uniform sampler2D diffuseMap;",
        "uniform mat4 modelViewMatrixInverse;",
        "uniform vec3 dimensions;",
        "uniform float numberOfSlices;",
        "uniform float slicesOverX;",
        "uniform float slicesOverY;",
        "uniform float sliceWidth;",
        "uniform float sliceHeight;",
        "uniform float border;",
        "uniform float opacityFactor;",
        "uniform float grayscale;",
        "uniform float colorRFactor;",
        "uniform float colorGFactor;",
        "uniform float colorBFactor;",
        "uniform float distance;",
        "uniform float numSteps;",
        "varying vec3 vPos;",
        "",
        "vec4 slice(float s, vec2 uv) {",
        "    float row = floor(s / slicesOverX);",
        "    float col = s - row * slicesOverX;",
        "    vec2 tile = vec2(sliceWidth + 2.0 * border, sliceHeight + 2.0 * border);",
        "    vec2 size = tile * vec2(slicesOverX, slicesOverY);",
        "    vec2 px = vec2(col, row) * tile + vec2(border) + uv * vec2(sliceWidth, sliceHeight);",
        "    return texture2D(diffuseMap, px / size);",
        "}",
        "",
        "vec4 sampleVolume(vec3 p) {",
        "    float s = clamp(p.z * numberOfSlices - 0.5, 0.0, numberOfSlices - 1.0);",
        "    float s0 = floor(s);",
        "    float s1 = min(s0 + 1.0, numberOfSlices - 1.0);",
        "    vec2 uv = p.xy;  // the atlas' first row is the slice's line 0, at the bottom of the box",
        "    return mix(slice(s0, uv), slice(s1, uv), s - s0);",
        "}",
        "",
        "void main() {",
        "    vec3 eye = (modelViewMatrixInverse * vec4(0.0, 0.0, 0.0, 1.0)).xyz;",
        "    vec3 dir = normalize(vPos - eye);",
        "    vec3 halfSize = 0.5 * dimensions;",
        "    vec3 safe = vec3(abs(dir.x) < 1e-6 ? 1e-6 : dir.x, abs(dir.y) < 1e-6 ? 1e-6 : dir.y,",
        "                     abs(dir.z) < 1e-6 ? 1e-6 : dir.z);",
        "    vec3 far = (sign(safe) * halfSize - vPos) / safe;",
        "    float exitT = min(min(far.x, far.y), far.z);",
        "    float steps = max(numSteps, 2.0);",
        "    float stepLength = length(dimensions) / steps;",
        "    // Opacity per step, corrected so that the look does not depend on the step count.",
        "    float exponent = opacityFactor * (distance / 1.4) * (140.0 / steps);",
        "    vec4 sum = vec4(0.0);",
        "    float t = 0.5 * stepLength;",
        "    for (int i = 0; i < 1024; i++) {",
        "        if (float(i) >= steps || t > exitT || sum.a > 0.98) break;",
        "        vec3 p = (vPos + dir * t) / dimensions + 0.5;",
        "        vec4 c = sampleVolume(p);",
        "        vec3 rgb = c.rgb * vec3(colorRFactor, colorGFactor, colorBFactor);",
        "        if (grayscale > 0.5) rgb = vec3(dot(rgb, vec3(0.299, 0.587, 0.114)));",
        "        float a = 1.0 - pow(1.0 - clamp(c.a, 0.0, 0.999), exponent);",
        "        sum.rgb += (1.0 - sum.a) * a * clamp(rgb, 0.0, 1.0);",
        "        sum.a += (1.0 - sum.a) * a;",
        "        t += stepLength;",
        "    }",
        "    gl_FragColor = vec4(sum.rgb, 1.0);",
        "}"
    ].join("\n");

    var uniformFields = {};

    function setUniform(name, value) {
        var f = uniformFields[name];
        if (f) f.setAttribute("value", String(value));
    }

    function addField(shader, name, type, value) {
        var f = el("field", {id: "zunField_" + name, name: name, type: type, value: String(value)});
        shader.appendChild(f);
        uniformFields[name] = f;
    }

    function levelOption(variable) {
        return $("#resolution option[value='" + variable + "']");
    }

    function applyLevel(variable) {
        var o = levelOption(variable);
        if (!o.length || o.attr("ready") !== "true") return false;
        var url = dataUrl(variable);
        if (!url) return false;
        var w = parseFloat(o.attr("width")), h = parseFloat(o.attr("height"));
        var tx = parseFloat(o.attr("tilex")), ty = parseFloat(o.attr("tiley"));
        var b = state.border;
        setUniform("numberOfSlices", parseFloat(o.attr("numslices")));
        setUniform("slicesOverX", tx);
        setUniform("slicesOverY", ty);
        setUniform("sliceWidth", w / tx - 2 * b);
        setUniform("sliceHeight", h / ty - 2 * b);
        $("#zunAtlas").attr("url", url);
        $("#imageTexture").attr("url", "\"" + variable + "\"");
        $("#imageTexture").attr("numberOfSlices", o.attr("numslices"));
        state.current = variable;
        return true;
    }

    // Builds the ray-cast box inside the volume element from the page's own description.
    function buildScene() {
        var volume = document.getElementById("volume");
        var atlas = document.getElementById("imageTexture");
        if (!volume || !atlas) return;
        var dims = (volume.getAttribute("dimensions") || "1 1 1").split(/\s+/).map(parseFloat);
        var first = levelOption("zun1");
        var tx = parseFloat(atlas.getAttribute("slicesOverX")), ty = parseFloat(atlas.getAttribute("slicesOverY"));
        var w = parseFloat(first.attr("width")), h = parseFloat(first.attr("height"));
        var meta = $("meta[name='martix']").attr("content") || "";
        var image = ($("meta[name='image size']").attr("content") || "").split(" x ").map(parseFloat);
        var full = meta.split(" x ").map(parseFloat);
        // The tile border follows from the full atlas ("martix") and the full image size: the full
        // atlas has n tiles across, n the smallest even count above the square root of the depth.
        state.border = 0;
        if (image.length === 3 && full.length === 2 && image[2] > 0) {
            var n = Math.ceil(Math.sqrt(image[2]));
            if (n * n === image[2]) n += 1;
            if (n % 2 === 1) n += 1;
            state.border = Math.max(0, Math.round((full[0] / n - image[0]) / 2));
        }

        var shape = el("Shape", {id: "zunVolumeShape"});
        var app = el("Appearance", {});
        var tex = el("ImageTexture", {id: "zunAtlas", url: dataUrl("zun1"), scale: "false"});
        tex.appendChild(el("TextureProperties", {
            boundaryModeS: "CLAMP_TO_EDGE", boundaryModeT: "CLAMP_TO_EDGE",
            minificationFilter: "LINEAR", magnificationFilter: "LINEAR", generateMipMaps: "false"
        }));
        app.appendChild(tex);
        var shader = el("ComposedShader", {id: "zunShader"});
        addField(shader, "diffuseMap", "SFInt32", 0);
        addField(shader, "dimensions", "SFVec3f", dims.join(" "));
        addField(shader, "numberOfSlices", "SFFloat", parseFloat(atlas.getAttribute("numberOfSlices")));
        addField(shader, "slicesOverX", "SFFloat", tx);
        addField(shader, "slicesOverY", "SFFloat", ty);
        addField(shader, "sliceWidth", "SFFloat", w / tx - 2 * state.border);
        addField(shader, "sliceHeight", "SFFloat", h / ty - 2 * state.border);
        addField(shader, "border", "SFFloat", state.border);
        var style = document.getElementById("optstyle");
        var styleValue = function (name, fallback) {
            var v = style ? parseFloat(style.getAttribute(name)) : NaN;
            return isNaN(v) ? fallback : v;
        };
        addField(shader, "opacityFactor", "SFFloat", styleValue("opacityFactor", state.opacityFactor));
        addField(shader, "grayscale", "SFFloat", styleValue("grayscale", 0));
        addField(shader, "colorRFactor", "SFFloat", styleValue("colorRFactor", 1));
        addField(shader, "colorGFactor", "SFFloat", styleValue("colorGFactor", 1));
        addField(shader, "colorBFactor", "SFFloat", styleValue("colorBFactor", 1));
        addField(shader, "distance", "SFFloat", state.distance);
        addField(shader, "numSteps", "SFFloat", state.numSteps);
        var vs = el("ShaderPart", {type: "VERTEX"});
        vs.textContent = vertexShader;
        var fs = el("ShaderPart", {type: "FRAGMENT"});
        fs.textContent = fragmentShader;
        shader.appendChild(vs);
        shader.appendChild(fs);
        app.appendChild(shader);
        shape.appendChild(app);
        shape.appendChild(el("Box", {size: dims.join(" "), solid: "true"}));
        volume.appendChild(shape);
    }

    // ---- the page's controls

    function slider(id, min, max, value, onChange) {
        var box = $("#" + id);
        var show = function (v) { onChange(v); };
        if (box.slider) {
            box.slider({
                orientation: "vertical", min: min, max: max, step: (max - min) / 100, value: value,
                slide: function (e, ui) { show(ui.value); },
                change: function (e, ui) { show(ui.value); }
            });
        }
        show(value);
    }

    function setStyle(name, value) {
        var style = document.getElementById("optstyle");
        if (style) style.setAttribute(name, String(value));
        setUniform(name, value);  // also before the scene library has taken the element over
    }

    function info(id, value) {
        $("#" + id).text(Number(value).toFixed(2));
    }

    function resetControls() {
        var d = state.defaults;
        $("#colorRFactor").slider && $("#colorRFactor").slider("value", 1);
        $("#colorGFactor").slider && $("#colorGFactor").slider("value", 1);
        $("#colorBFactor").slider && $("#colorBFactor").slider("value", 1);
        $("#opacityFactor").slider && $("#opacityFactor").slider("value", d.opacityFactor);
        $("#distance").slider && $("#distance").slider("value", d.distance);
        $("#grayscale").prop("checked", false);
        setStyle("grayscale", "0.0");
        var x3d = document.getElementById("x3dcontent");
        if (x3d && x3d.runtime) x3d.runtime.resetView();
    }

    function wireControls() {
        slider("colorRFactor", 0, 2, 1, function (v) { setStyle("colorRFactor", v); info("infoRed", v); });
        slider("colorGFactor", 0, 2, 1, function (v) { setStyle("colorGFactor", v); info("infoGreen", v); });
        slider("colorBFactor", 0, 2, 1, function (v) { setStyle("colorBFactor", v); info("infoBlue", v); });
        slider("opacityFactor", 0, 2, state.opacityFactor, function (v) {
            setStyle("opacityFactor", v);
            info("infoOpacity", v);
        });
        slider("distance", 0.2, 4, state.distance, function (v) {
            state.distance = v;
            setUniform("distance", v);
            $("#volume").attr("distance", String(v));
            info("infoDistance", v);
        });
        $("#grayscale").on("change", function () { setStyle("grayscale", this.checked ? "1.0" : "0.0"); });
        $("#numsteps").on("change", function () {
            var max = parseFloat($("#volume").attr("maxSteps")) || 220;
            state.numSteps = Math.min(parseFloat(this.value), max);
            setUniform("numSteps", state.numSteps);
            $("#volume").attr("numSteps", String(state.numSteps));
        });
        $("#showStat").on("change", function () {
            var x3d = document.getElementById("x3dcontent");
            if (x3d && x3d.runtime) x3d.runtime.statistics(this.checked);
        });
        $("#showLog").on("change", function () {
            var x3d = document.getElementById("x3dcontent");
            if (x3d && x3d.runtime) x3d.runtime.debug(this.checked);
        });
        $("#showTitle").on("click", function () { $("#header").show(); });
        $("#hideTitle").on("click", function () { $("#header").hide(); });
        $("#reset").on("click", resetControls);
        $("#resolution").on("change", function () {
            if (!applyLevel(this.value)) {
                // Not loaded yet: keep showing the level that is there.
                $(this).val(state.current);
            }
        });
    }

    // ---- the functions the page calls

    // Whether this browser can show the page: WebGL, and textures as large as the first atlas.
    global.isSupport3D = function (width, height) {
        try {
            var canvas = document.createElementNS(XHTML, "canvas");
            var gl = canvas.getContext("webgl2") || canvas.getContext("webgl") ||
                     canvas.getContext("experimental-webgl");
            if (!gl) return false;
            return gl.getParameter(gl.MAX_TEXTURE_SIZE) >= Math.max(width, height);
        } catch (e) {
            return false;
        }
    };

    global.init = function (opacityFactor, distance, numSteps) {
        state.opacityFactor = opacityFactor;
        state.distance = distance;
        state.numSteps = numSteps;
        state.defaults = {opacityFactor: opacityFactor, distance: distance, numSteps: numSteps};
        if (typeof global.canSupport === "function" && !global.canSupport()) {
            var box = $("#browserError");
            box.removeClass("hiddenDialog");
            if (box.dialog) box.dialog({modal: true});
        }
        buildScene();
        wireControls();
        var done = function () { $("#loading").hide(); };
        if (document.readyState === "complete") done();
        else $(global).on("load", done);
        if (global.x3dom && x3dom.runtime) x3dom.runtime.ready = done;
    };

    // Loads the script of one level; when it has arrived the level can be chosen.
    global.loadImage = function (url, variable) {
        var script = el("script", {type: "text/javascript", src: url});
        script.onload = function () {
            levelOption(variable).attr("ready", "true");
        };
        (document.head || document.getElementsByTagName("head")[0]).appendChild(script);
    };
})(window);
