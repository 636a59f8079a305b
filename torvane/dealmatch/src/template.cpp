#include "torvane/dealmatch/template.hpp"

namespace torvane::dealmatch {

nlohmann::ordered_json default_cfg_template() {
    nlohmann::ordered_json system_data;
    system_data["po_cell"] = "H2";
    system_data["so_cell"] = "I2";
    system_data["so_pos_cell"] = "J2";
    system_data["so_suffix_cell"] = "K2";
    system_data["qty_cell"] = "L2";
    system_data["rdd_cell"] = "Q2";
    nlohmann::ordered_json customer_data;
    customer_data["po_cell"] = "F3";
    customer_data["qty_cell"] = "O3";
    customer_data["rdd_cell"] = "R3";
    nlohmann::ordered_json config;
    config["system_data_path"] = "./data_dealmatch/system_data.csv";
    config["customer_data_path"] = "./data_dealmatch/customer_data.xlsx";
    config["output_dir"] = "./data_dealmatch/out";
    config["system_data"] = std::move(system_data);
    config["customer_data"] = std::move(customer_data);
    nlohmann::ordered_json root;
    root["config"] = std::move(config);
    return root;
}

}  // namespace torvane::dealmatch
