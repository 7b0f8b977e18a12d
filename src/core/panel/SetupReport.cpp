#include "panel/SetupReport.h"

#include "panel/GraphModel.h"
#include "edit/RecordText.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace quellmarin {

namespace {

// The dump's fields by name.
using Fields = std::map<std::string, std::string>;

std::string Get(const Fields& f, const std::string& name) {
    const auto it = f.find(name);
    return it == f.end() ? std::string() : it->second;
}

// A quoted, padded text of the dump ("\"Show A.......\"") as a person reads it.
std::string DumpText(std::string text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '*')) text.pop_back();
    return text;
}

std::string Capital(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

bool HasPicture(const SystemParameters& p, ChannelRef c) {
    const int m = c.Master(p);
    const bool output = IsOutput(c.section);
    const PeqBand* bands = output ? p.OutCH[m].Peq : p.InCH[m].Peq;
    const int count = output ? kOutputBands : kInputBands;
    const bool eqOn = (output ? p.OutCH[m].PeqEnable : p.InCH[m].PeqEnable) != 0;
    const bool anyBand =
        std::any_of(bands, bands + count, [](const PeqBand& b) { return b.Type != kEqNone; });
    const bool crossover = output && (p.OutCH[m].HpfFreq != 0 || p.OutCH[m].LpfFreq < 122);
    return (eqOn && anyBand) || crossover;
}

ReportPicture Picture(const SystemParameters& p, ChannelRef c, DeviceModel model) {
    ReportPicture pic;
    pic.width = 440;
    pic.height = 176;
    pic.plot = PlotGeometry{40, 6, 392, 150};
    // The graph's own curves for the channel, on a plot of the picture's size.
    GraphModel graph(model);
    graph.SetPlot(pic.plot);
    if (IsOutput(c.section))
        graph.LoadOutput(p, c.index);
    else
        graph.LoadInput(p, c.index);
    const auto total = graph.Curves().Total();
    pic.curve.assign(total.begin(), total.end());

    const PlotGeometry& g = pic.plot;
    const double top = g.top, bottom = g.top + g.height, left = g.left, right = g.left + g.width - 1;
    for (double decade : {10.0, 100.0, 1000.0})
        for (int m = 1; m <= 9; ++m) {
            const double x = g.FrequencyToColumn(decade * m);
            pic.grid.push_back({x, top, x, bottom, m == 1 ? 1 : 0});
        }
    for (double f : {10000.0, 20000.0}) {
        const double x = g.FrequencyToColumn(f);
        pic.grid.push_back({x, top, x, bottom, 1});
    }
    for (int u = 0; u <= 18; ++u) {
        const double y = top + u * g.Unit();
        pic.grid.push_back({left, y, right, y, u == 8 ? 2 : (u == 0 || u == 18) ? 1 : 0});
    }
    for (std::size_t i = 0; i < kGraphFrequencyLabels.size(); ++i) {
        const double f = kGraphLabelFrequencies[i];
        if (f != 20 && f != 100 && f != 1000 && f != 10000 && f != 200 && f != 2000) continue;
        pic.labels.push_back(
            {g.FrequencyToColumn(f) - 10, bottom + 13, std::string(kGraphFrequencyLabels[i]), false});
    }
    for (std::size_t i = 0; i < kGraphLevelLabels.size(); i += 2) {
        std::string t(kGraphLevelLabels[i]);
        t.erase(0, t.find_first_not_of(' '));
        pic.labels.push_back({left - 4, top + 2 * static_cast<double>(i) * g.Unit() + 3, t, true});
    }
    return pic;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char ch : s) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += ch;
        }
    }
    return out;
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string Svg(const ReportPicture& pic, const std::string& title) {
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(pic.width) +
                    "\" height=\"" + Number(pic.height) + "\" viewBox=\"0 0 " + Number(pic.width) + " " +
                    Number(pic.height) + "\" role=\"img\" aria-label=\"" + Escape(title) + "\">";
    const PlotGeometry& g = pic.plot;
    s += "<rect x=\"" + Number(g.left) + "\" y=\"" + Number(g.top) + "\" width=\"" + Number(g.width - 1) +
         "\" height=\"" + Number(g.height) + "\" fill=\"#fbfbfd\" stroke=\"#8a94a3\"/>";
    static const char* kStroke[] = {"#e3e6eb", "#b9c0ca", "#56606e"};
    for (const ReportPicture::Line& l : pic.grid)
        s += "<line x1=\"" + Number(l.x1) + "\" y1=\"" + Number(l.y1) + "\" x2=\"" + Number(l.x2) +
             "\" y2=\"" + Number(l.y2) + "\" stroke=\"" + kStroke[l.weight] + "\" stroke-width=\"" +
             (l.weight == 2 ? "1.2" : "0.8") + "\"/>";
    s += "<polyline fill=\"none\" stroke=\"#d9820b\" stroke-width=\"2\" points=\"";
    for (std::size_t i = 0; i < pic.curve.size(); ++i) {
        const double y =
            std::clamp(pic.curve[i], static_cast<double>(g.top), static_cast<double>(g.top + g.height));
        s += Number(g.left + static_cast<double>(i)) + "," + Number(y) + " ";
    }
    s += "\"/>";
    for (const ReportPicture::Label& l : pic.labels)
        s += "<text x=\"" + Number(l.x) + "\" y=\"" + Number(l.y) + "\" font-size=\"9\" fill=\"#46505c\"" +
             (l.alignRight ? " text-anchor=\"end\"" : "") + ">" + Escape(l.text) + "</text>";
    return s + "</svg>";
}

} // namespace

SetupReport BuildSetupReport(const SystemParameters& p, const DeviceInfoRecord& info, DeviceModel model) {
    Fields f;
    for (const DumpEntry& e : DumpRecords(p, info, model)) f[e.name] = e.text;
    SetupReport r;
    const std::string program = DumpText(Get(f, "program name"));
    r.title = "Set-up report" + (program.empty() ? std::string() : ": " + program);
    r.device = {{"Maker", DumpText(Get(f, "device maker"))},
                {"Model", std::string(ModelName(model))},
                {"Device ID", Get(f, "device id")},
                {"Software", DumpText(Get(f, "device software version"))},
                {"Hardware", DumpText(Get(f, "device hardware version"))},
                {"Program", Get(f, "program no") + (program.empty() ? "" : " " + program)},
                {"Front panel", Get(f, "panel lock")},
                {"Generator", Get(f, "generator")}};

    std::vector<int> inputs;
    for (int k = 0; k < kInputSlots; ++k)
        if (InputSlotUsed(model, k)) inputs.push_back(k);
    for (int k : inputs) r.routeColumns.push_back(ChannelLabel(Section::Input, k, model));
    for (int o = 0; o < 8; ++o) {
        std::vector<std::string> cells;
        for (int k : inputs) {
            const int level = p.OutCH[o].Route[k];
            char buf[16] = "";
            if (level != 0) std::snprintf(buf, sizeof buf, "%+.1f", (level - 181) / 2.0);
            cells.emplace_back(buf);
        }
        r.routing.emplace_back(ChannelName(Section::Output, o, model), std::move(cells));
    }

    for (Section s : {Section::Input, Section::Output}) {
        std::map<int, std::vector<std::string>> groups;
        const std::vector<int> channels = IsOutput(s) ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7} : inputs;
        for (int k : channels) groups[ChannelRef{s, k}.Master(p)].push_back(ChannelLabel(s, k, model));
        std::string line = IsOutput(s) ? "Outputs: " : "Inputs: ";
        bool first = true;
        for (const auto& [master, members] : groups) {
            std::string group;
            for (const std::string& m : members) group += (group.empty() ? "" : "+") + m;
            line += (first ? "" : ", ") + group;
            first = false;
        }
        r.links.push_back(line);
    }

    for (Section s : {Section::Input, Section::Output}) {
        const bool output = IsOutput(s);
        const std::vector<int> channels = output ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7} : inputs;
        for (int k : channels) {
            const ChannelRef c{s, k};
            // A linked channel's own name, routing, mute and link are its own; everything else the
            // processor takes from the group's master, so that is what the report shows and draws.
            const int m = c.Master(p);
            const std::string own = (output ? "out " : "in ") + ChannelLabel(s, k, model) + " ";
            const std::string key = (output ? "out " : "in ") + ChannelLabel(s, m, model) + " ";
            ReportChannel ch;
            ch.channel = c;
            const std::string alias = DisplayName(p, c);
            ch.heading = ChannelName(s, k, model) + (alias.empty() ? "" : " \u2014 " + alias);
            if (m != k) ch.heading += " (linked: the settings of " + ChannelName(s, m, model) + ")";
            const auto row = [&](const std::string& label, const std::string& field) {
                ch.rows.emplace_back(label, Get(f, key + field));
            };
            const auto ownRow = [&](const std::string& label, const std::string& field) {
                ch.rows.emplace_back(label, Get(f, own + field));
            };
            ch.rows.emplace_back("Name", alias.empty() ? "(none)" : alias);
            ownRow("Link", "link");
            if (output) ownRow("From", "route");
            row("Gain", "gain");
            ownRow("Mute", "mute");
            if (output) row("Polarity", "polarity");
            row("Delay", "delay");
            if (output) {
                row("High-pass", "hpf");
                row("Low-pass", "lpf");
                row("Limiter", "limit");
            } else {
                row("Compressor", "comp");
            }
            row("Equaliser", "peq");
            const int bands = output ? kOutputBands : kInputBands;
            for (int b = 0; b < bands; ++b) {
                const PeqBand& band = output ? p.OutCH[m].Peq[b] : p.InCH[m].Peq[b];
                if (band.Type != kEqNone)
                    row(Capital("band " + std::to_string(b + 1)), "peq band " + std::to_string(b + 1));
            }
            if (HasPicture(p, c)) ch.picture = Picture(p, c, model);
            r.channels.push_back(std::move(ch));
        }
    }
    return r;
}

std::string SetupReportHtml(const SetupReport& r) {
    std::string h =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + Escape(r.title) +
        "</title>\n<style>\n"
        "body{font-family:'DejaVu Sans',Arial,sans-serif;font-size:10pt;color:#1d232b;margin:2em;}\n"
        "h1{font-size:16pt;margin:0 0 .6em}h2{font-size:13pt;margin:1.2em 0 .4em;border-bottom:1px solid "
        "#b9c0ca}h3{font-size:11pt;margin:.8em 0 .3em}\n"
        "table{border-collapse:collapse}td,th{padding:2px 8px;text-align:left;vertical-align:top}\n"
        "table.grid td,table.grid th{border:1px solid #b9c0ca;text-align:center;min-width:3em}\n"
        ".channel{page-break-inside:avoid;display:flex;gap:1.5em;align-items:flex-start}\n"
        "th.row{text-align:left;color:#46505c;font-weight:normal}\n"
        "</style>\n</head>\n<body>\n<h1>" +
        Escape(r.title) + "</h1>\n";
    h += "<h2 id=\"device\">Device</h2>\n<table>\n";
    for (const auto& [label, value] : r.device)
        h += "<tr><th class=\"row\">" + Escape(label) + "</th><td>" + Escape(value) + "</td></tr>\n";
    h += "</table>\n<h2 id=\"routing\">Routing</h2>\n<table class=\"grid\">\n<tr><th></th>";
    for (const std::string& c : r.routeColumns) h += "<th>In " + Escape(c) + "</th>";
    h += "</tr>\n";
    for (const auto& [output, cells] : r.routing) {
        h += "<tr><th class=\"row\">" + Escape(output) + "</th>";
        for (const std::string& cell : cells) h += "<td>" + Escape(cell) + "</td>";
        h += "</tr>\n";
    }
    h += "</table>\n<p>Levels in dB; an empty cell is not routed.</p>\n<h2 id=\"links\">Link "
         "groups</h2>\n<ul>\n";
    for (const std::string& l : r.links) h += "<li>" + Escape(l) + "</li>\n";
    h += "</ul>\n";
    bool outputs = false;
    h += "<h2 id=\"inputs\">Inputs</h2>\n";
    for (const ReportChannel& c : r.channels) {
        if (IsOutput(c.channel.section) && !outputs) {
            h += "<h2 id=\"outputs\">Outputs</h2>\n";
            outputs = true;
        }
        h += "<h3>" + Escape(c.heading) + "</h3>\n<div class=\"channel\">\n<table>\n";
        for (const auto& [label, value] : c.rows)
            h += "<tr><th class=\"row\">" + Escape(label) + "</th><td>" + Escape(value) + "</td></tr>\n";
        h += "</table>\n";
        if (c.picture) h += Svg(*c.picture, "Response of " + c.heading) + "\n";
        h += "</div>\n";
    }
    return h + "</body>\n</html>\n";
}

} // namespace quellmarin
