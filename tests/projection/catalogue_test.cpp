// The projection catalogue: names, families, predicates and keywords.

#include "projection/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "polyhedra/poly_spec.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

// Every output name in id order, written as `id "name"` joined by "; ".
constexpr const char* kAllOutputNames =
    "1 \"equirectangular\"; 2 \"mirror ball\"; 3 \"polar\"; 4 \"half-polar\"; 5 \"orthographic\"; "
    "6 \"tetrahedron\"; 7 \"cube\"; 8 \"octahedron\"; 9 \"dodecahedron\"; 10 \"icosahedron\"; 11 \"Hammer\"; "
    "12 \"Werner\"; 13 \"sinusoidal\"; 14 \"rectilinear\"; 15 \"hyperbolic\"; 16 \"stereographic\"; "
    "17 \"cylindrical\"; 18 \"Wetch\"; 19 \"pinwheel\"; 20 \"lozenge\"; 21 \"square\"; 22 \"curvy\"; "
    "23 \"goggles\"; 24 \"quasar\"; 25 \"14 faces\"; 26 \"24 faces a\"; 27 \"24 faces b\"; 28 \"26 faces\"; "
    "29 \"30 faces\"; 30 \"soccer ball\"; 31 \"32 faces\"; 32 \"38 faces\"; 33 \"60 faces\"; 34 \"62 faces\"; "
    "35 \"Winkel tripel\"; 36 \"gores 12\"; 37 \"gores 24\"; 38 \"gores multi\"; 39 \"loop\"; "
    "40 \"two circles\"; 41 \"balloon\"; 42 \"paperlock\"; 43 \"Omnimax\"; 44 \"spikeball\"; "
    "45 \"brick preview\"; 46 \"Mollweide\"; 47 \"icomap\"; 48 \"star 3\"; 49 \"star 5\"; 50 \"magnipolar\"; "
    "51 \"sprocket-6\"; 52 \"swoop\"; 53 \"gores 6 of 12\"; 54 \"dodo\"; 55 \"GID\"; 56 \"oculus\"; "
    "57 \"triptych\"; 58 \"tetraptych\"; 59 \"annulus\"; 60 \"shift lens\"; 61 \"gores 3 of 12\"; "
    "62 \"Mercator\"; 63 \"umbrella\"; 64 \"tetra tile\"; 65 \"hyperdouble\"; 66 \"hypertriple\"; "
    "67 \"Mercator cross\"; 68 \"Mercator star\"; 69 \"Lagrange\"; 70 \"rind 1\"; 71 \"rind 2\"; 72 \"rind 3\"; "
    "73 \"tunable ellipsoid\"; 74 \"tunable egg\"; 75 \"4 views\"; 76 \"12 views\"; 77 \"24 views\"; "
    "78 \"60 views\"; 79 \"72 views\"; 80 \"Robinson\"; 81 \"equi tall\"; 82 \"semistereo\"; 83 \"thorn\"; "
    "84 \"Lagrange 3-4\"; 85 \"squoculus\"; 86 \"box\"; 87 \"thorn levo\"; 88 \"unFish\"; 89 \"Lagrange plus\"; "
    "90 \"Adams 1\"; 91 \"Adams 2\"; 92 \"trecunx\"; 93 \"quadracunx\"; 94 \"Peirce quincunx\"; 95 \"sexacunx\"; "
    "96 \"septecunx\"; 97 \"5-star\"; 98 \"pentagon\"; 99 \"Guyou\"; 100 \"3-star\"; 101 \"triangle\"; "
    "102 \"rhombus 1\"; 103 \"rhombus 2\"; 104 \"6-star\"; 105 \"hexagon\"; 106 \"Lee tetrahedric\"; "
    "107 \"rectangular tet\"; 108 \"2-clover\"; 109 \"3-clover\"; 110 \"4-clover\"; 111 \"5-clover\"; "
    "112 \"6-clover\"; 113 \"pentalene\"; 114 \"naphthalene\"; 115 \"phenalene\"; 116 \"shuriken\"; "
    "117 \"cross\"; 118 \"double Guyou\"; 119 \"wide rect\"; 120 \"semicircle\"; 121 \"ellipse\"; "
    "122 \"Reuleaux 1\"; 123 \"Reuleaux 2\"; 124 \"Reuleaux 4\"; 125 \"Reuleaux 8\"; 126 \"Octreleaux\"; "
    "127 \"zigzag\"; 128 \"chevron\"; 129 \"monozag\"; 130 \"3-malta\"; 131 \"4-malta\"; 132 \"5-malta\"; "
    "133 \"6-malta\"; 134 \"Gilbert\"; 135 \"stereo twice\"; 136 \"stereo thrice\"; 137 \"Adams diamonds\"; "
    "138 \"equal-area cylinder\"; 139 \"Quick globe\"; 140 \"equal squarea\"; 141 \"square fish 1\"; "
    "142 \"square fish 2\"; 143 \"Gilbert globe\"; 144 \"pointy\"; 145 \"shuriken star\"; 146 \"calyx 3\"; "
    "147 \"calyx 4\"; 148 \"calyx 5\"; 149 \"calyx 6\"; 150 \"waffle\"; 151 \"trident\"; 152 \"astercurve 5\"; "
    "153 \"astercurve 7\"; 154 \"astercurve 8\"; 155 \"trizag\"; 156 \"shark 3\"; 157 \"shark 4\"; "
    "158 \"sunburst\"; 159 \"two cylinders\"; 160 \"three cylinders\"; 161 \"Isle of Man\"; 162 \"shard\"; "
    "163 \"starburst\"; 164 \"3-incurvate\"; 165 \"4-incurvate\"; 166 \"phenyl cross\"; 167 \"anthracene\"; "
    "168 \"conformal dodecahedron\"; 169 \"tattoo 1\"; 170 \"tattoo 2\"; 171 \"zenith & nadir\"; "
    "172 \"horizontal cross\"; 173 \"vertical cross\"; 174 \"thirtysphere\"; 175 \"devtet\"; 176 \"conictet\"; "
    "177 \"geodesic 4 | 2\"; 178 \"geodesic 4 | 3\"; 179 \"geodesic 4 | 4\"; 180 \"geodesic 4 | 5\"; "
    "181 \"geodesic 6 | 1\"; 182 \"geodesic 6 | 2\"; 183 \"geodesic 6 | 3\"; 184 \"geodesic 6 | 4\"; "
    "185 \"geodesic 6 | 5\"; 186 \"geodesic 8 | 2\"; 187 \"geodesic 8 | 3\"; 188 \"geodesic 8 | 4\"; "
    "189 \"geodesic 8 | 5\"; 190 \"geodesic 12 | 1\"; 191 \"geodesic 12 | 2\"; 192 \"geodesic 12 | 3\"; "
    "193 \"geodesic 12 | 4\"; 194 \"geodesic 12 | 5\"; 195 \"geodesic 20 | 2\"; 196 \"geodesic 20 | 3\"; "
    "197 \"geodesic 20 | 4\"; 198 \"geodesic 20 | 5\"; 199 \"sphericon 3/0\"; 200 \"sphericon 3/1\"; "
    "201 \"sphericon 4/0\"; 202 \"sphericon 4/0+\"; 203 \"sphericon 4/0/H\"; 204 \"sphericon 4/1\"; "
    "205 \"sphericon 4/1+\"; 206 \"sphericon 5/0\"; 207 \"sphericon 5/1\"; 208 \"sphericon 5/2\"; "
    "209 \"sphericon 6/0\"; 210 \"sphericon 6/0+\"; 211 \"sphericon 6/0/H\"; 212 \"sphericon 6/1\"; "
    "213 \"sphericon 6/1+\"; 214 \"sphericon 6/1/H\"; 215 \"sphericon 7/0\"; 216 \"sphericon 7/1\"; "
    "217 \"sphericon 7/2\"; 218 \"sphericon 7/3\"; 219 \"sphericon 8/0\"; 220 \"sphericon 8/0+\"; "
    "221 \"sphericon 8/0/H\"; 222 \"sphericon 8/1\"; 223 \"sphericon 8/1+\"; 224 \"sphericon 8/1/H\"; "
    "225 \"sphericon 8/2\"; 226 \"sphericon 8/2+\"; 227 \"sphericon 9/0\"; 228 \"sphericon 9/1\"; "
    "229 \"sphericon 9/2\"; 230 \"sphericon 9/3\"; 231 \"sphericon 9/4\"; 232 \"sphericon 10/0\"; "
    "233 \"sphericon 10/0+\"; 234 \"sphericon 10/0/H\"; 235 \"sphericon 10/1\"; 236 \"sphericon 10/1+\"; "
    "237 \"sphericon 10/1/H\"; 238 \"sphericon 10/2\"; 239 \"sphericon 10/2+\"; 240 \"sphericon 10/2/H\"; "
    "241 \"sphericon 11/0\"; 242 \"sphericon 11/1\"; 243 \"sphericon 11/2\"; 244 \"sphericon 11/3\"; "
    "245 \"sphericon 11/4\"; 246 \"sphericon 11/5\"; 247 \"quatretat\"; 248 \"twistless rind\"; "
    "249 \"curvy cube\"; 250 \"baseball\"; 251 \"sprocket-4\"; 252 \"sprocket-5\"; 253 \"daycare\"; "
    "254 \"short rind\"; 255 \"Panini\"; 256 \"YangTet\"; 257 \"YangOct\"; 258 \"Tribox\"; 259 \"squarebox A\"; "
    "260 \"squarebox B\"; 261 \"squirclebox A\"; 262 \"squirclebox B\"; 263 \"triskelion fat\"; "
    "264 \"triskelion meso\"; 265 \"triskelion skinny\"; 266 \"triskelion plain\"; "
    "267 \"triskelion straight\"; 268 \"Calliope\"; 269 \"Clio\"; 270 \"Euterpe\"; 271 \"Thalia\"; "
    "272 \"Melpomene\"; 273 \"Terpsichore\"; 274 \"Erato\"; 275 \"Polyhymnia\"; 276 \"Urania\"; 277 \"Aglaia\"; "
    "278 \"Euphrosyne\"; 279 \"Naiaid\"; 280 \"Thalassa\"; 281 \"Despina\"; 282 \"Galatea\"; 283 \"Larissa\"; "
    "284 \"Proteus\"; 285 \"Triton\"; 286 \"Nereid\"; 287 \"Halimede\"; 288 \"folding sphere\"; "
    "289 \"YangCube\"; 290 \"YangDodecahedron\"; 291 \"YangIcosahedron\"; 292 \"rhombic hexecontahedron A\"; "
    "293 \"rhombic hexecontahedron B\"; 294 \"pentbox\"; 295 \"squirclecube\"; 296 \"YangTet wide\"; "
    "297 \"above and below\"; 298 \"up and down\"; 299 \"cosine falloff\"; 300 \"disc sphere A\"; "
    "301 \"disc sphere B\"; 302 \"trisplat\"; 303 \"pentasplat\"; 304 \"curlicue 1\"; 305 \"curlicue 2\"; "
    "306 \"curlicue 3\"; 307 \"curlicue 4\"; 308 \"curlicue 5\"; 309 \"curlicue 6\"; 310 \"curlicue 7\"; "
    "311 \"curlicue 8\"; 312 \"curlicue 9\"; 313 \"curlicue 10\"; 314 \"curlicue 11\"; 315 \"curlicue 12\"; "
    "316 \"curlicue 13\"; 317 \"curlicue 14\"; 318 \"curlicue 15\"; 319 \"curlicue 16\"; 320 \"curlicue 17\"; "
    "321 \"curlicue 18\"; 322 \"curlicue 19\"; 323 \"curlicue 20\"; 324 \"curlicue 21\"; 325 \"curlicue 22\"; "
    "326 \"curlicue 23\"; 327 \"curlicue 24\"; 328 \"curlicue 25\"; 329 \"curlicue 26\"; 330 \"curlicue 27\"; "
    "331 \"curlicue 28\"; 332 \"curlicue 29\"; 333 \"curlicue 30\"; 334 \"curlicue 31\"; 335 \"curlicue 32\"; "
    "336 \"curlicue 33\"; 337 \"Unity 6 frames\"; 338 \"Facebook 3x2 cube\"; 339 \"Pano2VR 3x2 cube\"; "
    "340 \"Laskowski tri-optimal\"; 341 \"north armadillo\"; 342 \"north armadillo globe\"; "
    "343 \"south armadillo\"; 344 \"south armadillo globe\"; 345 \"Mollweide ocean\"; 346 \"Bonne 45\"; "
    "347 \"vertical perspective\"; 348 \"vertical perspective globe\"; 349 \"flyover\"; "
    "350 \"flyover globe\"; 351 \"cross 3\"; 352 \"cross 5\"; 353 \"tridactyl\"; 354 \"Canters\"; "
    "355 \"natural earth\"; 356 \"sinusoidal interrupted\"; 357 \"sinu-Mollweide\"; 358 \"Ginzburg 8\"; "
    "359 \"Larrivee\"; 360 \"oblate north\"; 361 \"oblate north globe\"; 362 \"oblate south\"; "
    "363 \"oblate south globe\"; 364 \"prolate north\"; 365 \"prolate north globe\"; 366 \"prolate south\"; "
    "367 \"prolate south globe\"; 368 \"triangle tile\"; 369 \"square tile\"; 370 \"hexagon tile\"; "
    "371 \"hyperbolic 3,9 disc\"; 372 \"hyperbolic 3,9 square\"; 373 \"hyperbolic 3,9 pentagon\"; "
    "374 \"hyperbolic 3,9 band\"; 375 \"hyperbolic 4,8 disc\"; 376 \"hyperbolic 4,8 square\"; "
    "377 \"hyperbolic 4,8 pentagon\"; 378 \"hyperbolic 4,8 band\"; 379 \"hyperbolic 5,4 disc\"; "
    "380 \"hyperbolic 5,4 square\"; 381 \"hyperbolic 5,4 pentagon\"; 382 \"hyperbolic 5,4 band\"; "
    "383 \"round triangle\"; 384 \"round square\"; 385 \"3 pentagons\"; 386 \"4 pentagons\"; "
    "387 \"5 pentagons\"; 388 \"frangipani\"; 389 \"flake 3\"; 390 \"flake 4\"; 391 \"flake 5\"; "
    "392 \"pentaskelion\"; 393 \"triad\"; 394 \"voxel globe\"; 395 \"blob world\"; 396 \"Ferguson\"; "
    "397 \"Strebe 1995\"; 398 \"Eckert IV\"; 399 \"Hill eucyclic\"; 400 \"retroazimuthal front\"; "
    "401 \"retroazimuthal back\"; 402 \"conformal octahedron\"; 403 \"boxball\"; 404 \"spangle\"; "
    "405 \"sawtooth\"; 406 \"cinquefoil\"; 407 \"rhombicosacron\"; 408 \"Waterman\"; 409 \"quatrefoil\"; "
    "410 \"Spilhaus\"; 411 \"quilt 3\"; 412 \"quilt 4\"; 413 \"quilt 5\"; 414 \"Philbrick interrupted\"; "
    "486 \"glass marble\"; 566 \"mirrors\"; 800 \"splattest\"; 900 \"Lambert azimuthal\"; 1038 \"3-floret\"; "
    "1039 \"4-floret\"; 1040 \"5-floret\"; 1041 \"6-floret\"; 100335 \"logarithmic\"";

constexpr const char* kAllInputNames =
    "1 \"equirectangular\"; 2 \"mirror ball\"; 3 \"polar\"; 4 \"orthographic\"; 5 \"cylindrical\"; "
    "6 \"ellipsoid\"; 7 \"Mollweide\"; 8 \"circular 180\"; 9 \"full-frame 180\"; 10 \"one cube face\"; "
    "11 \"tiling cube face\"; 12 \"gores: 12\"; 13 \"half-equi\"; 14 \"Nicolosi\"; 15 \"stereographic\"; "
    "16 \"quarter-equi\"; 17 \"Robinson\"; 18 \"mylar\"; 19 \"gores: 12 radial\"; 20 \"Mercator\"; "
    "21 \"Lagrange\"; 22 \"Winkel Tripel\"; 23 \"Hammer\"; 24 \"equal-area cylinder\"; 25 \"gores: 6\"; "
    "26 \"zenith & nadir\"; 27 \"horizontal cross\"; 28 \"vertical cross\"; 29 \"soccer\"; "
    "30 \"Ortelius oval\"; 31 \"spinner 360\"; 32 \"spinner guess width\"; 33 \"Unity 6 frames\"; "
    "34 \"Facebook 3x2 cube\"; 35 \"Pano2VR 3x2 cube\"; 36 \"gores: 8\"; 37 \"Strebe 1995\"; 38 \"Eckert IV\"";

// Parses "a..b" ranges and single ids separated by commas.
std::vector<ProjectionId> ids(std::string_view text) {
    std::vector<ProjectionId> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == ',')) ++pos;
        if (pos >= text.size()) break;
        int a = 0;
        auto r = std::from_chars(text.data() + pos, text.data() + text.size(), a);
        pos = static_cast<std::size_t>(r.ptr - text.data());
        int b = a;
        if (text.substr(pos, 2) == "..") {
            r = std::from_chars(text.data() + pos + 2, text.data() + text.size(), b);
            pos = static_cast<std::size_t>(r.ptr - text.data());
        }
        for (int v = a; v <= b; ++v) out.push_back(v);
    }
    return out;
}

// Every id worth asking about: the catalogue's entries, the internal ids and
// a few that have no entry.
std::vector<ProjectionId> probeIds() {
    std::vector<ProjectionId> out;
    for (ProjectionId id = -2; id <= 1100; ++id) out.push_back(id);
    for (ProjectionId id : {9999, 100334, 100335, 100336, 2147483647}) out.push_back(id);
    return out;
}

template <class Pred>
std::vector<ProjectionId> idsWhere(Pred pred) {
    std::vector<ProjectionId> out;
    for (ProjectionId id : probeIds()) {
        if (pred(id)) out.push_back(id);
    }
    return out;
}

using Words = std::vector<std::string>;

TEST(Catalogue, CountsAndIdOrder) {
    ASSERT_EQ(inputProjections().size(), 38u);
    ASSERT_EQ(outputProjections().size(), 423u);
    for (std::size_t i = 0; i < inputProjections().size(); ++i) {
        EXPECT_EQ(inputProjections()[i].id, static_cast<InputProjectionId>(i + 1));
    }
    std::vector<ProjectionId> expected = ids("1..414, 486, 566, 800, 900, 1038..1041, 100335");
    std::vector<ProjectionId> got;
    for (const OutputProjectionInfo& row : outputProjections()) got.push_back(row.id);
    EXPECT_EQ(got, expected);
    std::set<std::string_view> names;
    for (const OutputProjectionInfo& row : outputProjections()) names.insert(row.name);
    EXPECT_EQ(names.size(), 423u) << "output names are unique";
}

TEST(Catalogue, OutputNamesByteForByte) {
    std::string joined;
    for (const OutputProjectionInfo& row : outputProjections()) {
        if (!joined.empty()) joined += "; ";
        joined += std::to_string(row.id) + " \"" + std::string(row.name) + "\"";
        EXPECT_EQ(outputProjectionName(row.id), row.name);
    }
    EXPECT_EQ(joined, kAllOutputNames);
}

TEST(Catalogue, InputNamesByteForByte) {
    std::string joined;
    for (const InputProjectionInfo& row : inputProjections()) {
        if (!joined.empty()) joined += "; ";
        joined += std::to_string(row.id) + " \"" + std::string(row.name) + "\"";
        EXPECT_EQ(inputProjectionName(row.id), row.name);
    }
    EXPECT_EQ(joined, kAllInputNames);
}

TEST(Catalogue, NamesOfIdsWithoutEntry) {
    for (ProjectionId id : {0, -1, 415, 485, 1042, 1043, 1044, 1045, 100334, 2147483647}) {
        EXPECT_EQ(outputProjectionName(id), "***") << id;
        EXPECT_FALSE(hasOutputEntry(id)) << id;
        EXPECT_EQ(outputShapeWord(id), "") << id;
    }
    for (InputProjectionId id : {0, -1, 39, 100, -2147483647 - 1}) {
        EXPECT_EQ(inputProjectionName(id), "") << id;
        EXPECT_FALSE(hasInputEntry(id)) << id;
    }
}

TEST(Catalogue, OddNamesAreKeptAsWritten) {
    EXPECT_EQ(outputProjectionName(279), "Naiaid");
    EXPECT_EQ(outputProjectionName(26), "24 faces a");
    EXPECT_EQ(outputProjectionName(177), "geodesic 4 | 2");
    EXPECT_EQ(outputProjectionName(171), "zenith & nadir");
    EXPECT_EQ(outputProjectionName(35), "Winkel tripel");
    EXPECT_EQ(inputProjectionName(22), "Winkel Tripel");
    EXPECT_EQ(outputProjectionName(33), "60 faces");
    EXPECT_EQ(outputProjectionName(100335), "logarithmic");
    EXPECT_EQ(inputProjectionName(38), "Eckert IV");
    EXPECT_EQ(inputProjectionName(26), "zenith & nadir");
}

TEST(Catalogue, InternalIds) {
    for (ProjectionId id : {kFloretMemberOutput, kGoreLayoutOutput, kSpecialRenderProjection}) {
        EXPECT_TRUE(isInternalOutputId(id)) << id;
        ASSERT_NE(findOutputInfo(id), nullptr);
        EXPECT_EQ(findOutputInfo(id)->name, "");
    }
    EXPECT_FALSE(isInternalOutputId(1042));
    EXPECT_FALSE(isInternalOutputId(62));
    EXPECT_TRUE(isFloretFamily(1043));
    EXPECT_TRUE(isGlobeGores(1044));
    EXPECT_EQ(outputKeywords(1043), (Words{"floret"}));
    EXPECT_EQ(outputKeywords(1044), (Words{"globe gores"}));
    EXPECT_EQ(outputKeywords(1045), Words{});
    EXPECT_FALSE(usesPolyModel(1045));
}

TEST(Catalogue, ShapeWords) {
    const std::map<ProjectionId, std::string_view> expected = {
    {3, "azimuthal"},
    {5, "ball"},
    {22, "labrys"},
    {25, "cuboctahedron"},
    {26, "deltoidal icosatetrahedron"},
    {27, "pentagonal icosatetrahedron"},
    {28, "small rhombicuboctahedron"},
    {29, "rhombic tricontahedron"},
    {30, "truncated icosahedron"},
    {31, "icosidodecahedron"},
    {32, "snub cube"},
    {33, "deltoidal hexecontehedron"},
    {34, "small rhombicosidodecahedron"},
    {43, "film"},
    {44, "tetrahedron 5-compound"},
    {45, "Lego"},
    {47, "icosahedron"},
    {54, "dodecadodecahedron"},
    {55, "great icosadodecahedron"},
    {59, "ring"},
    {62, "loximuthal"},
    {64, "tessellation"},
    {86, "isometric"},
    {139, "orthographic"},
    {368, "tessellation"},
    {369, "tessellation"},
    {370, "tessellation"},
    {371, "tessellation"},
    {372, "tessellation"},
    {373, "tessellation"},
    {374, "tessellation"},
    {375, "tessellation"},
    {376, "tessellation"},
    {377, "tessellation"},
    {378, "tessellation"},
    {379, "tessellation"},
    {380, "tessellation"},
    {381, "tessellation"},
    {382, "tessellation"},
    {403, "cube 4-compound"},
    {404, "small triambic icosahedron"},
    {405, "rhombic triacontahedron 15th stellation"},
    {406, "medial hexagonal hexecontahedron"}

    };
    for (ProjectionId id : probeIds()) {
        const auto it = expected.find(id);
        EXPECT_EQ(outputShapeWord(id), it == expected.end() ? std::string_view{} : it->second) << id;
    }
}

TEST(Catalogue, FindOutputByIdOrName) {
    EXPECT_EQ(findOutputProjection("62"), 62);
    EXPECT_EQ(findOutputProjection("062"), 62);
    EXPECT_EQ(findOutputProjection("Mercator"), 62);
    EXPECT_EQ(findOutputProjection("geodesic 4 | 2"), 177);
    EXPECT_EQ(findOutputProjection("24 faces a"), 26);
    EXPECT_EQ(findOutputProjection("Naiaid"), 279);
    EXPECT_EQ(findOutputProjection("100335"), 100335);
    EXPECT_EQ(findOutputProjection("logarithmic"), 100335);
    EXPECT_EQ(findOutputProjection("3-floret"), 1038);
    for (std::string_view bad : {"", "0", "415", "1042", "1043", "1044", "1045", "-62", "+62", " 62",
                                 "62 ", "mercator", "Mercator ", "***", "99999999999999999999",
                                 "2147483648", "6.0", "Naiad"}) {
        EXPECT_EQ(findOutputProjection(bad), std::nullopt) << bad;
    }
    for (const OutputProjectionInfo& row : outputProjections()) {
        EXPECT_EQ(findOutputProjection(row.name), row.id) << row.name;
        EXPECT_EQ(findOutputProjection(std::to_string(row.id)), row.id);
    }
}

TEST(Catalogue, FindInputByIdOrName) {
    EXPECT_EQ(findInputProjection("1"), 1);
    EXPECT_EQ(findInputProjection("equirectangular"), 1);
    EXPECT_EQ(findInputProjection("Winkel Tripel"), 22);
    EXPECT_EQ(findInputProjection("gores: 12 radial"), 19);
    EXPECT_EQ(findInputProjection("38"), 38);
    for (std::string_view bad : {"", "0", "39", "Winkel tripel", "-1", "equirectangular "}) {
        EXPECT_EQ(findInputProjection(bad), std::nullopt) << bad;
    }
    for (const InputProjectionInfo& row : inputProjections()) {
        EXPECT_EQ(findInputProjection(row.name), row.id);
    }
}

TEST(Catalogue, FamiliesByRange) {
    EXPECT_EQ(idsWhere(isGeodesicSphere), ids("177..198"));
    EXPECT_EQ(idsWhere(isSphericon), ids("199..246"));
    EXPECT_EQ(idsWhere(isCurlicue), ids("304..336"));
    EXPECT_EQ(idsWhere(isHyperbolicTiling), ids("371..382"));
    EXPECT_EQ(idsWhere(isViewsOutput), ids("75..79"));
    EXPECT_EQ(idsWhere([](ProjectionId id) { return outputFamily(id) == ProjectionFamily::kFloretOutputs; }),
              ids("1038..1041"));
}

TEST(Catalogue, FamilyNamesAgreeWithTheirDetails) {
    for (ProjectionId id = 177; id <= 198; ++id) {
        const auto g = geodesicSphereOf(id);
        ASSERT_TRUE(g.has_value()) << id;
        EXPECT_EQ(outputProjectionName(id),
                  "geodesic " + std::to_string(g->baseFaces) + " | " + std::to_string(g->frequency));
    }
    EXPECT_FALSE(geodesicSphereOf(176).has_value());
    EXPECT_FALSE(geodesicSphereOf(199).has_value());
    const char* variants[] = {"disc", "square", "pentagon", "band"};
    for (ProjectionId id = 371; id <= 382; ++id) {
        const auto h = hyperbolicTilingOf(id);
        ASSERT_TRUE(h.has_value()) << id;
        EXPECT_EQ(outputProjectionName(id), "hyperbolic " + std::to_string(h->p) + "," +
                                                std::to_string(h->q) + " " +
                                                variants[static_cast<int>(h->variant)]);
    }
    EXPECT_EQ(idsWhere([](ProjectionId id) {
                  const auto h = hyperbolicTilingOf(id);
                  return h && h->variant == HyperbolicVariant::kSquare;
              }),
              ids("372, 376, 380"));
    EXPECT_EQ(idsWhere([](ProjectionId id) {
                  const auto h = hyperbolicTilingOf(id);
                  return h && h->variant == HyperbolicVariant::kPentagon;
              }),
              ids("373, 377, 381"));
    for (ProjectionId id = 304; id <= 336; ++id) {
        EXPECT_EQ(outputProjectionName(id), "curlicue " + std::to_string(id - 303));
    }
    for (ProjectionId id = 199; id <= 246; ++id) {
        EXPECT_EQ(outputProjectionName(id).substr(0, 10), "sphericon ") << id;
    }
    EXPECT_EQ(outputProjectionName(75), "4 views");
    EXPECT_EQ(outputProjectionName(79), "72 views");
}

TEST(CataloguePredicates, IdListAttributes) {
    EXPECT_EQ(idsWhere(isConformal),
              ids("16, 51, 62, 65..69, 83, 84, 87, 89..133, 135, 136, 137, 144..158, 162, 163, 166, 167, "
                  "168, 251, 252, 302, 303, 351, 352, 353, 368, 369, 370, 371..382, 383..387, 402, 410, "
                  "411, 412, 413, 800, 1038..1041"));
    EXPECT_EQ(idsWhere(hasCircleOutline),
              ids("2, 3, 5, 19, 39, 59, 69, 134, 139, 143, 300, 301, 347, 348, 371, 375, 379, 401, 900"));
    EXPECT_EQ(idsWhere(isFloretFamily),
              ids("51, 108..112, 130..133, 145..149, 151..158, 161..166, 247, 251, 252, 302, 303, "
                  "351..353, 383..393, 411..413, 1040, 1043"));
    EXPECT_EQ(idsWhere(isOrigami), ids("41, 42"));
    EXPECT_EQ(idsWhere(isCubemap), ids("7, 172, 173, 337..339"));
    EXPECT_EQ(idsWhere(isGlobeGores), ids("36, 37, 38, 53, 61, 1044"));
    EXPECT_EQ(idsWhere(isCylindrical), ids("1, 17, 18, 81, 138, 159, 160, 299"));
    EXPECT_EQ(idsWhere(isGnomonic), ids("14, 57, 58, 60"));
    EXPECT_EQ(idsWhere(isEqualArea),
              ids("2, 11, 12, 13, 46, 138, 140, 345, 346, 356, 357, 397, 398, 399, 414, 900"));
    EXPECT_EQ(idsWhere(showsOceans), ids("345, 410"));
    EXPECT_EQ(idsWhere(isRind), ids("70..72, 253, 254"));
    EXPECT_EQ(idsWhere(isSteinmetzSolid), ids("159, 160"));
    EXPECT_EQ(idsWhere(isOrthoapsidal), ids("134, 143, 341..344, 360..367, 409"));
    EXPECT_EQ(idsWhere(hasEllipseOutline), ids("11, 46, 121"));
    EXPECT_EQ(idsWhere(hasSquareOutline), ids("41, 42, 75, 90, 91, 94, 140, 141, 142, 372, 376, 380, 410"));
    EXPECT_EQ(idsWhere([](ProjectionId id) { return shadedGlobe(id) == 1; }),
              ids("139, 143, 342, 348, 350, 361, 365"));
    EXPECT_EQ(idsWhere([](ProjectionId id) { return shadedGlobe(id) == 2; }), ids("344, 363, 367"));
    EXPECT_EQ(idsWhere(isShaded),
              ids("45, 139, 143, 299, 342, 344, 348, 350, 361, 363, 365, 367, 394, 395, 396"));
}

TEST(CataloguePredicates, ThemeWords) {
    EXPECT_EQ(outputThemeWord(171), "retouching");
    EXPECT_EQ(outputThemeWord(394), "voxels");
    EXPECT_EQ(outputThemeWord(395), "metaballs");
    EXPECT_EQ(outputThemeWord(396), "flat earth");
    EXPECT_EQ(outputThemeWord(400), "retroazimuthal");
    EXPECT_EQ(outputThemeWord(401), "retroazimuthal");
    EXPECT_EQ(idsWhere([](ProjectionId id) { return !outputThemeWord(id).empty(); }),
              ids("171, 394, 395, 396, 400, 401"));
}

TEST(CataloguePredicates, ModelShapes) {
    EXPECT_EQ(idsWhere(isVoronoiShape), ids("248, 249, 250, 253, 254, 263..267, 392, 393"));
    EXPECT_EQ(idsWhere(isStripNet), ids("268..287, 304..336"));
    EXPECT_EQ(idsWhere(isCurvedOrigami), ids("256..262, 288, 289..291, 294..296, 300, 301"));
    EXPECT_EQ(idsWhere(isDevelopable),
              ids("159, 160, 199..246, 248, 249, 250, 253, 254, 256..262, 263..267, 268..287, 288, "
                  "289..291, 294..296, 300, 301, 304..336"));
    // Never developable when in the floret family, even with a Voronoi shape.
    EXPECT_TRUE(isVoronoiShape(393));
    EXPECT_FALSE(isDevelopable(393));
}

TEST(CataloguePredicates, ExportableGeometryAndPolyhedron) {
    EXPECT_EQ(idsWhere(hasExportableGeometry),
              ids("6..10, 25..34, 44, 47, 54, 55, 70..72, 169, 170, 172..246, 248..250, 253, 254, "
                  "256..287, 289..296, 304..336, 402..408, 800"));
    EXPECT_EQ(idsWhere(isPolyhedron),
              ids("6..10, 25..34, 44, 47, 54, 55, 70..72, 169, 170, 172, 173, 174, 177..198, 292, 293, "
                  "402..408, 800"));
    // Every exporter and every polyhedron has a model.
    for (ProjectionId id : idsWhere(hasExportableGeometry)) EXPECT_TRUE(isPolyhedral(id)) << id;
    EXPECT_EQ(idsWhere(usesPolyModel), idsWhere(isPolyhedral));
}

TEST(CataloguePredicates, RegistryNamesEveryPredicateOnce) {
    std::set<std::string_view> names;
    for (const OutputPredicate& p : outputPredicates()) {
        EXPECT_TRUE(names.insert(p.name).second) << p.name;
        ASSERT_NE(p.test, nullptr);
        EXPECT_FALSE(p.test(0)) << p.name;
    }
    EXPECT_TRUE(names.count("conformal"));
    EXPECT_TRUE(names.count("polyhedron"));
    EXPECT_TRUE(names.count("exportable3DGeometry"));
    EXPECT_TRUE(names.count("usesPolyModel"));
}

TEST(CatalogueKeywords, ExamplesInOrder) {
    EXPECT_EQ(outputKeywords(62), (Words{"loximuthal", "conformal"}));
    EXPECT_EQ(outputKeywords(171), (Words{"retouching"}));
    EXPECT_EQ(outputKeywords(7), (Words{"cubemap", "polyhedron", "exportable 3D geometry"}));
    EXPECT_EQ(outputKeywords(900), (Words{"equal-area", "circle"}));
    EXPECT_EQ(outputKeywords(372), (Words{"tessellation", "hyperbolic tiling", "conformal", "square"}));
    EXPECT_EQ(outputKeywords(159), (Words{"developable", "cylindrical", "Steinmetz solid"}));
    EXPECT_EQ(outputKeywords(199), (Words{"sphericon", "developable", "exportable 3D geometry"}));
    EXPECT_EQ(outputKeywords(393), (Words{"floret", "voronoi"}));
    EXPECT_EQ(outputKeywords(256), (Words{"developable", "curved origami", "exportable 3D geometry"}));
    EXPECT_EQ(outputKeywords(288), (Words{"developable", "curved origami"}));
    EXPECT_EQ(outputKeywords(143), (Words{"shaded", "orthoapsidal", "circle"}));
    EXPECT_EQ(outputKeywords(45), (Words{"Lego", "shaded"}));
    EXPECT_EQ(outputKeywords(30), (Words{"truncated icosahedron", "polyhedron", "exportable 3D geometry"}));
    EXPECT_EQ(outputKeywords(410), (Words{"conformal", "oceans", "square"}));
    EXPECT_EQ(outputKeywords(41), (Words{"origami", "square"}));
    EXPECT_EQ(outputKeywords(177), (Words{"geodesic", "polyhedron", "exportable 3D geometry"}));
    EXPECT_EQ(outputKeywords(70), (Words{"polyhedron", "rind", "exportable 3D geometry"}));
    EXPECT_EQ(outputKeywords(0), Words{});
    EXPECT_EQ(outputKeywords(415), Words{});
}

TEST(CatalogueKeywords, EveryOutputObeysTheListRules) {
    for (ProjectionId id : probeIds()) {
        Words raw;
        forEachOutputKeyword(id, [&](std::string_view w) { raw.emplace_back(w); });
        EXPECT_LT(raw.size(), kKeywordListCapacity) << id;
        for (const std::string& w : raw) {
            EXPECT_FALSE(w.empty()) << id;
            EXPECT_LE(w.size(), kKeywordMaxLength) << id;
        }
        EXPECT_EQ(outputKeywords(id), raw) << id;  // nothing dropped: no duplicates, none too long
    }
}

TEST(CatalogueKeywords, ListRules) {
    Words list;
    EXPECT_FALSE(keywordListAccepts(list, ""));
    EXPECT_TRUE(keywordListAccepts(list, std::string(49, 'x')));
    EXPECT_FALSE(keywordListAccepts(list, std::string(50, 'x')));
    list.push_back("conformal");
    EXPECT_FALSE(keywordListAccepts(list, "conformal"));
    EXPECT_TRUE(keywordListAccepts(list, "conform"));
    // The output's words are appended after what is there, without repeats.
    EXPECT_EQ(appendOutputKeywords(62, list), 1u);
    EXPECT_EQ(list, (Words{"conformal", "loximuthal"}));
    // A full list accepts nothing more.
    Words full;
    for (int i = 0; i < 19; ++i) full.push_back("word " + std::to_string(i));
    EXPECT_FALSE(keywordListAccepts(full, "conformal"));
    EXPECT_EQ(appendOutputKeywords(7, full), 0u);
    EXPECT_EQ(full.size(), 19u);
    // Filling up part way: only as many as fit.
    Words nearly(full.begin(), full.begin() + 17);
    EXPECT_EQ(appendOutputKeywords(7, nearly), 2u);
    EXPECT_EQ(nearly.back(), "polyhedron");
}

}  // namespace
}  // namespace globaro
