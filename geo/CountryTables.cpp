// SPDX-License-Identifier: MIT
// The constant country and continent tables. The row order is part of the range file
// format (the file stores row numbers): 0..242 by code, then "eu" and "gb". Names are
// worded to follow " is based in ".
#include "geo/LibOstrand.h"

const std::array<std::string_view, CountryCount> CountryCodes = {{
    "ac", "ad", "ae", "af", "ag", "ai", "al", "am", "an", "ao", "aq", "ar", "as", "at", "au",
    "aw", "az", "ba", "bb", "bd", "be", "bf", "bg", "bh", "bi", "bj", "bm", "bn", "bo", "br",
    "bs", "bt", "bv", "bw", "by", "bz", "ca", "cc", "cd", "cf", "cg", "ch", "ci", "ck", "cl",
    "cm", "cn", "co", "cr", "cu", "cv", "cx", "cy", "cz", "de", "dj", "dk", "dm", "do", "dz",
    "ec", "ee", "eg", "eh", "er", "es", "et", "fi", "fj", "fk", "fm", "fo", "fr", "ga", "gd",
    "ge", "gf", "gg", "gh", "gi", "gl", "gm", "gn", "gp", "gq", "gr", "gs", "gt", "gu", "gw",
    "gy", "hk", "hm", "hn", "hr", "ht", "hu", "id", "ie", "il", "im", "in", "io", "iq", "ir",
    "is", "it", "je", "jm", "jo", "jp", "ke", "kg", "kh", "ki", "km", "kn", "kp", "kr", "kw",
    "ky", "kz", "la", "lb", "lc", "li", "lk", "lr", "ls", "lt", "lu", "lv", "ly", "ma", "mc",
    "md", "mg", "mh", "mk", "ml", "mm", "mn", "mo", "mp", "mq", "mr", "ms", "mt", "mu", "mv",
    "mw", "mx", "my", "mz", "na", "nc", "ne", "nf", "ng", "ni", "nl", "no", "np", "nr", "nu",
    "nz", "om", "pa", "pe", "pf", "pg", "ph", "pk", "pl", "pm", "pn", "pr", "ps", "pt", "pw",
    "py", "qa", "re", "ro", "ru", "rw", "sa", "sb", "sc", "sd", "se", "sg", "sh", "si", "sj",
    "sk", "sl", "sm", "sn", "so", "sr", "st", "sv", "sy", "sz", "tc", "td", "tf", "tg", "th",
    "tj", "tk", "tm", "tn", "to", "tp", "tr", "tt", "tv", "tw", "tz", "ua", "ug", "uk", "um",
    "us", "uy", "uz", "va", "vc", "ve", "vg", "vi", "vn", "vu", "wf", "ws", "ye", "yt", "yu",
    "za", "zm", "zw", "eu", "gb",
}};

const std::array<std::string_view, CountryCount> CountryNames = {{
    "Ascension Island",  // 0 ac
    "Andorra",  // 1 ad
    "the United Arab Emirates",  // 2 ae
    "Afghanistan",  // 3 af
    "Antigua and Barbuda",  // 4 ag
    "Anguilla",  // 5 ai
    "Albania",  // 6 al
    "Armenia",  // 7 am
    "the Netherlands Antilles",  // 8 an
    "Angola",  // 9 ao
    "Antarctica",  // 10 aq
    "Argentina",  // 11 ar
    "American Samoa",  // 12 as
    "Austria",  // 13 at
    "Australia",  // 14 au
    "Aruba",  // 15 aw
    "Azerbaijan",  // 16 az
    "Bosnia and Herzegovina",  // 17 ba
    "Barbados",  // 18 bb
    "Bangladesh",  // 19 bd
    "Belgium",  // 20 be
    "Burkina Faso",  // 21 bf
    "Bulgaria",  // 22 bg
    "Bahrain",  // 23 bh
    "Burundi",  // 24 bi
    "Benin",  // 25 bj
    "Bermuda",  // 26 bm
    "Brunei Darussalam",  // 27 bn
    "Bolivia",  // 28 bo
    "Brazil",  // 29 br
    "Bahamas",  // 30 bs
    "Bhutan",  // 31 bt
    "Bouvet Island",  // 32 bv
    "Botswana",  // 33 bw
    "Belarus",  // 34 by
    "Belize",  // 35 bz
    "Canada",  // 36 ca
    "the Cocos (Keeling) Islands",  // 37 cc
    "the Democratic Republic of the Congo",  // 38 cd
    "the Central African Republic",  // 39 cf
    "the Republic of Congo",  // 40 cg
    "Switzerland",  // 41 ch
    "the Cote d'Ivoire",  // 42 ci
    "the Cook Islands",  // 43 ck
    "Chile",  // 44 cl
    "Cameroon",  // 45 cm
    "China",  // 46 cn
    "Colombia",  // 47 co
    "Costa Rica",  // 48 cr
    "Cuba",  // 49 cu
    "Cap Verde",  // 50 cv
    "Christmas Island",  // 51 cx
    "Cyprus",  // 52 cy
    "the Czech Republic",  // 53 cz
    "Germany",  // 54 de
    "Djibouti",  // 55 dj
    "Denmark",  // 56 dk
    "Dominica",  // 57 dm
    "the Dominican Republic",  // 58 do
    "Algeria",  // 59 dz
    "Ecuador",  // 60 ec
    "Estonia",  // 61 ee
    "Egypt",  // 62 eg
    "the Western Sahara",  // 63 eh
    "Eritrea",  // 64 er
    "Spain",  // 65 es
    "Ethiopia",  // 66 et
    "Finland",  // 67 fi
    "Fiji",  // 68 fj
    "the Falkland Islands",  // 69 fk
    "the Federal State of Micronesia",  // 70 fm
    "the Faroe Islands",  // 71 fo
    "France",  // 72 fr
    "Gabon",  // 73 ga
    "Grenada",  // 74 gd
    "Georgia",  // 75 ge
    "French Guiana",  // 76 gf
    "Guernsey",  // 77 gg
    "Ghana",  // 78 gh
    "Gibraltar",  // 79 gi
    "Greenland",  // 80 gl
    "Gambia",  // 81 gm
    "Guinea",  // 82 gn
    "Guadeloupe",  // 83 gp
    "Equatorial Guinea",  // 84 gq
    "Greece",  // 85 gr
    "South Georgia and the South Sandwich Islands",  // 86 gs
    "Guatemala",  // 87 gt
    "Guam",  // 88 gu
    "Guinea-Bissau",  // 89 gw
    "Guyana",  // 90 gy
    "Hong Kong",  // 91 hk
    "the Heard and McDonald Islands",  // 92 hm
    "Honduras",  // 93 hn
    "Croatia/Hrvatska",  // 94 hr
    "Haiti",  // 95 ht
    "Hungary",  // 96 hu
    "Indonesia",  // 97 id
    "Ireland",  // 98 ie
    "Israel",  // 99 il
    "the Isle of Man",  // 100 im
    "India",  // 101 in
    "the British Indian Ocean Territory",  // 102 io
    "Iraq",  // 103 iq
    "the Islamic Republic of Iran",  // 104 ir
    "Iceland",  // 105 is
    "Italy",  // 106 it
    "Jersey",  // 107 je
    "Jamaica",  // 108 jm
    "Jordan",  // 109 jo
    "Japan",  // 110 jp
    "Kenya",  // 111 ke
    "Kyrgyzstan",  // 112 kg
    "Cambodia",  // 113 kh
    "Kiribati",  // 114 ki
    "Comoros",  // 115 km
    "Saint Kitts and Nevis",  // 116 kn
    "the Democratic People's Republic of Korea",  // 117 kp
    "the Republic of Korea",  // 118 kr
    "Kuwait",  // 119 kw
    "the Cayman Islands",  // 120 ky
    "Kazakhstan",  // 121 kz
    "the Lao People's Democratic Republic",  // 122 la
    "Lebanon",  // 123 lb
    "Saint Lucia",  // 124 lc
    "Liechtenstein",  // 125 li
    "Sri Lanka",  // 126 lk
    "Liberia",  // 127 lr
    "Lesotho",  // 128 ls
    "Lithuania",  // 129 lt
    "Luxembourg",  // 130 lu
    "Latvia",  // 131 lv
    "Libyan Arab Jamahiriya",  // 132 ly
    "Morocco",  // 133 ma
    "Monaco",  // 134 mc
    "the Republic of Moldova",  // 135 md
    "Madagascar",  // 136 mg
    "the Marshall Islands",  // 137 mh
    "Macedonia",  // 138 mk
    "Mali",  // 139 ml
    "Myanmar",  // 140 mm
    "Mongolia",  // 141 mn
    "Macau",  // 142 mo
    "the Northern Mariana Islands",  // 143 mp
    "Martinique",  // 144 mq
    "Mauritania",  // 145 mr
    "Montserrat",  // 146 ms
    "Malta",  // 147 mt
    "Mauritius",  // 148 mu
    "Maldives",  // 149 mv
    "Malawi",  // 150 mw
    "Mexico",  // 151 mx
    "Malaysia",  // 152 my
    "Mozambique",  // 153 mz
    "Namibia",  // 154 na
    "New Caledonia",  // 155 nc
    "Niger",  // 156 ne
    "Norfolk Island",  // 157 nf
    "Nigeria",  // 158 ng
    "Nicaragua",  // 159 ni
    "the Netherlands",  // 160 nl
    "Norway",  // 161 no
    "Nepal",  // 162 np
    "Nauru",  // 163 nr
    "Niue",  // 164 nu
    "New Zealand",  // 165 nz
    "Oman",  // 166 om
    "Panama",  // 167 pa
    "Peru",  // 168 pe
    "French Polynesia",  // 169 pf
    "Papua New Guinea",  // 170 pg
    "Philippines",  // 171 ph
    "Pakistan",  // 172 pk
    "Poland",  // 173 pl
    "St. Pierre and Miquelon",  // 174 pm
    "Pitcairn Island",  // 175 pn
    "Puerto Rico",  // 176 pr
    "the Palestinian Territories",  // 177 ps
    "Portugal",  // 178 pt
    "Palau",  // 179 pw
    "Paraguay",  // 180 py
    "Qatar",  // 181 qa
    "Reunion Island",  // 182 re
    "Romania",  // 183 ro
    "the Russian Federation",  // 184 ru
    "Rwanda",  // 185 rw
    "Saudi Arabia",  // 186 sa
    "the Solomon Islands",  // 187 sb
    "the Seychelles",  // 188 sc
    "Sudan",  // 189 sd
    "Sweden",  // 190 se
    "Singapore",  // 191 sg
    "St. Helena",  // 192 sh
    "Slovenia",  // 193 si
    "the Svalbard and Jan Mayen Islands",  // 194 sj
    "Slovak Republic",  // 195 sk
    "Sierra Leone",  // 196 sl
    "San Marino",  // 197 sm
    "Senegal",  // 198 sn
    "Somalia",  // 199 so
    "Suriname",  // 200 sr
    "Sao Tome and Principe",  // 201 st
    "El Salvador",  // 202 sv
    "the Syrian Arab Republic",  // 203 sy
    "Swaziland",  // 204 sz
    "the Turks and Caicos Islands",  // 205 tc
    "Chad",  // 206 td
    "the French Southern Territories",  // 207 tf
    "Togo",  // 208 tg
    "Thailand",  // 209 th
    "Tajikistan",  // 210 tj
    "Tokelau",  // 211 tk
    "Turkmenistan",  // 212 tm
    "Tunisia",  // 213 tn
    "Tonga",  // 214 to
    "East Timor",  // 215 tp
    "Turkey",  // 216 tr
    "Trinidad and Tobago",  // 217 tt
    "Tuvalu",  // 218 tv
    "Taiwan",  // 219 tw
    "Tanzania",  // 220 tz
    "Ukraine",  // 221 ua
    "Uganda",  // 222 ug
    "the United Kingdom",  // 223 uk
    "a US Minor Outlying Island",  // 224 um
    "the United States",  // 225 us
    "Uruguay",  // 226 uy
    "Uzbekistan",  // 227 uz
    "the Holy See (City Vatican State)",  // 228 va
    "Saint Vincent and the Grenadines",  // 229 vc
    "Venezuela",  // 230 ve
    "the Virgin Islands (British)",  // 231 vg
    "the Virgin Islands (USA)",  // 232 vi
    "Vietnam",  // 233 vn
    "Vanuatu",  // 234 vu
    "the Wallis and Futuna Islands",  // 235 wf
    "Western Samoa",  // 236 ws
    "Yemen",  // 237 ye
    "Mayotte",  // 238 yt
    "Yugoslavia",  // 239 yu
    "South Africa",  // 240 za
    "Zambia",  // 241 zm
    "Zimbabwe",  // 242 zw
    "the European Community",  // 243 eu
    "the United Kingdom",  // 244 gb
}};

const std::array<ContinentCode, CountryCount> CountryContinents = {{
    4, 3, 5, 5, 1, 1, 3, 5, 1, 4,  // 0..9
    7, 2, 6, 3, 6, 1, 5, 3, 1, 5,  // 10..19
    3, 4, 3, 5, 4, 4, 1, 5, 2, 2,  // 20..29
    1, 5, 7, 4, 3, 1, 1, 5, 4, 4,  // 30..39
    4, 3, 4, 6, 2, 4, 5, 2, 1, 1,  // 40..49
    4, 5, 5, 3, 3, 4, 3, 1, 1, 4,  // 50..59
    2, 3, 4, 4, 4, 3, 4, 3, 6, 2,  // 60..69
    6, 3, 3, 4, 1, 3, 2, 3, 4, 3,  // 70..79
    1, 4, 4, 1, 4, 3, 2, 1, 6, 4,  // 80..89
    2, 5, 7, 1, 3, 1, 3, 5, 3, 5,  // 90..99
    3, 5, 5, 5, 5, 3, 3, 3, 1, 5,  // 100..109
    5, 4, 5, 5, 6, 4, 1, 5, 5, 5,  // 110..119
    1, 5, 5, 5, 1, 3, 5, 4, 4, 3,  // 120..129
    3, 3, 4, 4, 3, 3, 4, 6, 3, 4,  // 130..139
    5, 5, 5, 6, 1, 4, 1, 3, 4, 5,  // 140..149
    4, 1, 5, 4, 4, 6, 4, 6, 4, 1,  // 150..159
    3, 3, 5, 6, 6, 6, 5, 1, 2, 6,  // 160..169
    6, 5, 5, 3, 1, 6, 1, 5, 3, 6,  // 170..179
    2, 5, 4, 3, 3, 4, 5, 6, 4, 4,  // 180..189
    3, 5, 4, 3, 3, 3, 4, 3, 4, 4,  // 190..199
    2, 4, 1, 5, 4, 1, 4, 7, 4, 5,  // 200..209
    5, 6, 5, 4, 6, 5, 5, 1, 6, 5,  // 210..219
    4, 3, 4, 3, 1, 1, 2, 5, 3, 4,  // 220..229
    2, 1, 1, 5, 6, 6, 6, 5, 4, 3,  // 230..239
    4, 4, 4, 3, 3,  // 240..244
}};

const std::array<std::string_view, 8> ContinentNames = {{
    "", "North America", "South America", "Europe", "Africa", "Asia", "Oceania", "Antarctica",
}};
